#include "history/history_support.h"

#include <nettle/sha2.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "history/update_history.h"
#include "ports/process_table.h"

namespace zorvik::history {
namespace {

constexpr std::string_view kHistoryFile = "/zorvik-updater/history.sqlite";
constexpr std::string_view kHexDigits = "0123456789abcdef";

// A field of this user's entry in the password database (the home
// directory for a process started without HOME, a service say; the user
// name). Empty when there is none.
std::string passwordField(char* passwd::*field) {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  return found != nullptr && found->*field != nullptr ? std::string(found->*field) : std::string();
}

}  // namespace

std::string hostName() {
  std::array<char, HOST_NAME_MAX + 1> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();  // the last byte stays 0 even when the name was cut
}

std::string loginName() {
  // The name the user logged in with, also under sudo or su; the user the
  // process runs as when no terminal session tells it.
  std::array<char, LOGIN_NAME_MAX + 1> name{};
  if (::getlogin_r(name.data(), name.size() - 1) == 0 && name[0] != '\0') return name.data();
  return passwordField(&passwd::pw_name);
}

bool mayCreateIn(const std::filesystem::path& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

std::string defaultHistoryPath() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + std::string(kHistoryFile);
  const char* homeVariable = std::getenv("HOME");
  std::string home = homeVariable != nullptr ? homeVariable : "";
  if (home.empty()) home = passwordField(&passwd::pw_dir);
  if (home.empty()) throw HistoryError("update history: no home directory (HOME is unset) and XDG_DATA_HOME unset");
  return home + "/.local/share" + std::string(kHistoryFile);
}

std::string imageDigest(const std::vector<std::string_view>& linesInSendingOrder) {
  sha256_ctx context{};
  sha256_init(&context);
  const std::uint8_t newline = '\n';
  for (const std::string_view line : linesInSendingOrder) {
    sha256_update(&context, line.size(), reinterpret_cast<const std::uint8_t*>(line.data()));
    sha256_update(&context, 1, &newline);
  }
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&context, digest.size(), digest.data());
  std::string hex;
  hex.reserve(2 * digest.size());
  for (const std::uint8_t byte : digest) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}

// /proc is read in ports/ alone, for the doctor as for the history.
std::string processToken(std::int64_t pid) { return ports::processToken(pid); }

bool processLives(std::int64_t pid, const std::string& token) { return ports::processLives(pid, token); }

}  // namespace zorvik::history
