#include <signal.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

#include "ports/first_line.h"
#include "ports/process_table.h"

namespace zorvik::ports {
namespace {

namespace fs = std::filesystem;

using detail::readFirstLine;

bool allDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<int> processIds(const fs::path& procRoot) {
  std::vector<int> pids;
  std::error_code ec;
  for (fs::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (allDigits(name) && name.size() < 10) pids.push_back(std::stoi(name));
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

// "minicom" for pid 1234; "?" when the process has gone meanwhile.
std::string processName(const fs::path& procRoot, int pid) {
  const std::string name = readFirstLine(procRoot / std::to_string(pid) / "comm");
  return name.empty() ? "?" : name;
}

// "3" for /dev/pts/3; nothing for a port that is no pseudo-terminal.
std::optional<std::string> ptyIndex(const std::string& systemPath) {
  constexpr std::string_view kPts = "/dev/pts/";
  if (systemPath.rfind(kPts, 0) != 0) return std::nullopt;
  const std::string index = systemPath.substr(kPts.size());
  return allDigits(index) ? std::optional<std::string>(index) : std::nullopt;
}

// The multiplexer every pty master is opened through: /dev/ptmx, or the
// devpts instance's own (/dev/pts/ptmx) in a container.
bool isPtyMaster(const std::string& file) {
  constexpr std::string_view kPtmx = "ptmx";
  return file.size() >= kPtmx.size() && file.compare(file.size() - kPtmx.size(), kPtmx.size(), kPtmx) == 0;
}

// Which pty the master descriptor `fd` of a process belongs to, from the
// "tty-index:" line of its fdinfo; empty when it says none.
std::string ptyIndexOf(const fs::path& process, const fs::path& fd) {
  std::ifstream info(process / "fdinfo" / fd);
  constexpr std::string_view kKey = "tty-index:";
  for (std::string line; std::getline(info, line);) {
    if (line.rfind(kKey, 0) != 0) continue;
    const std::size_t start = line.find_first_not_of(" \t", kKey.size());
    return start == std::string::npos ? std::string() : line.substr(start);
  }
  return {};
}

std::optional<ProcessStat> readProcessStat(std::int64_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(file, line)) return std::nullopt;
  return parseProcessStat(line);
}

std::string tokenOf(const ProcessStat& stat) {
  std::ifstream file("/proc/sys/kernel/random/boot_id");
  std::string bootId;
  std::getline(file, bootId);
  return bootId + "/" + stat.startTime;
}

}  // namespace

HolderScan processesHolding(const std::string& systemPath, const fs::path& procRoot) {
  HolderScan scan;
  std::error_code selfError;
  const std::string self = fs::read_symlink(procRoot / "self", selfError).string();
  const std::optional<std::string> pty = ptyIndex(systemPath);
  for (const int pid : processIds(procRoot)) {
    if (std::to_string(pid) == self) continue;
    const fs::path process = procRoot / std::to_string(pid);
    std::error_code ec;
    fs::directory_iterator it(process / "fd", ec);
    if (ec) {
      if (ec == std::errc::permission_denied) ++scan.unreadable;
      continue;  // otherwise the process ended meanwhile
    }
    bool holds = false;
    bool master = false;
    for (fs::directory_iterator end; it != end && !(holds && (master || !pty)); it.increment(ec)) {
      std::error_code linkError;
      const std::string file = fs::read_symlink(it->path(), linkError).string();
      if (file == systemPath) holds = true;
      if (pty && !master && isPtyMaster(file)) master = ptyIndexOf(process, it->path().filename()) == *pty;
      if (ec) break;
    }
    if (!holds) continue;
    (master ? scan.servers : scan.holders).push_back({pid, processName(procRoot, pid)});
  }
  return scan;
}

bool processRunning(std::string_view comm, const fs::path& procRoot) {
  for (const int pid : processIds(procRoot)) {
    if (readFirstLine(procRoot / std::to_string(pid) / "comm") == comm) return true;
  }
  return false;
}

std::optional<ProcessStat> parseProcessStat(std::string_view line) {
  const std::size_t close = line.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::istringstream fields{std::string(line.substr(close + 1))};
  ProcessStat stat;
  std::string skipped;
  if (!(fields >> stat.state)) return std::nullopt;
  for (int field = 4; field < 22; ++field) {
    if (!(fields >> skipped)) return std::nullopt;
  }
  if (!(fields >> stat.startTime)) return std::nullopt;
  return stat;
}

std::string processToken(std::int64_t pid) {
  const std::optional<ProcessStat> stat = readProcessStat(pid);
  return stat ? tokenOf(*stat) : std::string();
}

bool processLives(std::int64_t pid, const std::string& token) {
  // kill(0) and kill(-1) would ask about whole process groups.
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return false;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  const std::optional<ProcessStat> stat = readProcessStat(pid);
  if (!stat) return true;  // /proc hides it (hidepid): kill's answer is all there is
  if (stat->state == 'Z' || stat->state == 'X') return false;  // dead, not yet collected by its parent
  return token.empty() || token == tokenOf(*stat);
}

}  // namespace zorvik::ports
