#include "tests/wine/wine_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zorvik::wine {
namespace fs = std::filesystem;

namespace {

const fs::path kPrefix = ZORVIK_WINE_PREFIX;
const fs::path kOutputDir = ZORVIK_WINE_OUTPUT_DIR;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void redirect(int fd, const fs::path& path, int flags) {
  const int target = ::open(path.c_str(), flags, 0644);
  if (target < 0) _exit(127);
  dup2(target, fd);
  ::close(target);
}

// Runs a wine tool to its end with its output discarded; throws when it fails.
void runQuietly(const std::vector<std::string>& argv) {
  Child child(argv, "");
  const RunResult result = child.wait(std::chrono::seconds(180));
  if (result.status != 0) throw std::runtime_error("\"" + argv.front() + " " + argv.back() + "\" failed");
}

// Quiet, non-interactive Wine: no debug channels, no Mono or Gecko installer
// prompts, no window system.
void prepareEnvironment() {
  setenv("WINEPREFIX", kPrefix.c_str(), 1);
  setenv("WINEDEBUG", "-all", 1);
  setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  fs::create_directories(kOutputDir);
}

// Once per prefix; the tests that use it run one at a time (a CTest resource
// lock), so no two processes initialise it together.
void ensurePrefix() {
  const fs::path ready = kPrefix / ".zorvik-ready";
  if (fs::exists(ready)) return;
  runQuietly({ZORVIK_WINEBOOT, "-i"});
  runQuietly({ZORVIK_WINESERVER, "-w"});  // the registry is written when the server ends
  std::ofstream(ready) << "initialised by wine_tests\n";
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const fs::path& outputStem)
    : outPath_(outputStem.empty() ? fs::path("/dev/null") : fs::path(outputStem.string() + ".out")),
      errPath_(outputStem.empty() ? fs::path("/dev/null") : fs::path(outputStem.string() + ".err")) {
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    redirect(STDIN_FILENO, "/dev/null", O_RDONLY);
    redirect(STDOUT_FILENO, outPath_, O_WRONLY | O_CREAT | O_TRUNC);
    redirect(STDERR_FILENO, errPath_, O_WRONLY | O_CREAT | O_TRUNC);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args.front(), args.data());
    _exit(127);
  }
}

Child::~Child() {
  if (pid_ > 0) wait(std::chrono::seconds(0));
}

void Child::signal(int signalNumber) const {
  if (pid_ > 0) kill(pid_, signalNumber);
}

RunResult Child::wait(std::chrono::seconds limit) {
  RunResult result;
  if (pid_ <= 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = readFile(outPath_);
  result.err = readFile(errPath_);
  return result;
}

WineSession::WineSession() {
  static const bool prepared = [] {
    prepareEnvironment();
    ensurePrefix();
    return true;
  }();
  (void)prepared;
  // Our own server, so that its diagnostics at exit go nowhere instead of into
  // the output of the first program; it outlives the test by 5 s at most.
  runQuietly({ZORVIK_WINESERVER, "-p5"});
}

WineSession::~WineSession() {
  for (const auto& name : mapped_) fs::remove(portLink(name));
  // Ends every Windows process of the prefix and the server with them, and
  // waits until the server is gone: a program started while it is dying
  // would die with it.
  Child kill({ZORVIK_WINESERVER, "-k"}, "");
  kill.wait(std::chrono::seconds(30));
  Child gone({ZORVIK_WINESERVER, "-w"}, "");
  gone.wait(std::chrono::seconds(30));
}

fs::path WineSession::portLink(const std::string& comName) const {
  std::string lower = comName;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return kPrefix / "dosdevices" / lower;
}

void WineSession::mapPort(const std::string& comName, const std::string& devicePath) {
  unmapPort(comName);
  fs::create_symlink(devicePath, portLink(comName));
  mapped_.push_back(comName);
}

void WineSession::unmapPort(const std::string& comName) {
  std::error_code ignored;
  fs::remove(portLink(comName), ignored);
}

fs::path WineSession::nextOutputStem() {
  return kOutputDir / (std::to_string(getpid()) + "-" + std::to_string(++outputs_));
}

RunResult WineSession::run(const std::vector<std::string>& arguments, std::chrono::seconds limit) {
  std::vector<std::string> argv{ZORVIK_WINE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  Child child(argv, nextOutputStem());
  return child.wait(limit);
}

Child WineSession::startUpdater(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{ZORVIK_WINE, ZORVIK_WINDOWS_EXE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return Child(argv, nextOutputStem());
}

RunResult WineSession::runUpdater(const std::vector<std::string>& arguments) {
  std::vector<std::string> all{ZORVIK_WINDOWS_EXE};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return run(all);
}

std::string windowsPath(const std::string& unixPath) {
  std::string path = "Z:" + fs::absolute(unixPath).lexically_normal().string();
  for (auto& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string unixPath(const std::string& windowsPath) {
  if (windowsPath.size() < 3 || windowsPath[1] != ':') return {};
  std::string rest = windowsPath.substr(2);
  for (auto& c : rest) {
    if (c == '\\') c = '/';
  }
  const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
  return (kPrefix / "dosdevices" / (std::string(1, drive) + ":")).string() + rest;
}

}  // namespace zorvik::wine
