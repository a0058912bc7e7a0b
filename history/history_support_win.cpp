// history_support.h on Windows: names from the system as UTF-8, the history
// under the user's local application data, the digest through the system's
// CNG (MinGW has no nettle), and a process known by its creation time.
#include "history/history_support.h"

#include <windows.h>

#include <io.h>
// After windows.h, which they need.
#include <bcrypt.h>
#include <knownfolders.h>
#include <lmcons.h>
#include <shlobj.h>

#include <array>
#include <cstdint>
#include <cwchar>
#include <limits>
#include <memory>

#include "history/update_history.h"

namespace zorvik::history {
namespace {

constexpr std::wstring_view kHistoryFile = L"\\zorvik-updater\\history.sqlite";
constexpr std::string_view kHexDigits = "0123456789abcdef";

std::string utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

// "C:\..." or "\\server\...": the only forms that name one folder whatever
// the current directory and drive are.
bool isAbsolute(std::wstring_view path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  return drive || path.starts_with(L"\\\\") || path.starts_with(L"//");
}

std::wstring environmentVariable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return {};
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);  // n counts the terminating null when the buffer was too small
  }
}

std::wstring knownLocalAppData() {
  PWSTR folder = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) result = folder;
  CoTaskMemFree(folder);  // also when it failed, as the shell asks
  return result;
}

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using ProcessHandle = std::unique_ptr<void, HandleCloser>;

// 0 is the idle process; Windows pids are 32-bit.
bool isProcessId(std::int64_t pid) { return pid > 0 && pid <= std::numeric_limits<DWORD>::max(); }

ProcessHandle openProcess(std::int64_t pid, DWORD access) {
  return ProcessHandle(OpenProcess(access, FALSE, static_cast<DWORD>(pid)));
}

// The process's creation time, in 100 ns since 1601: with the pid it names
// one process for good, as no two processes of one pid start at one instant.
std::string creationTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return {};
  return std::to_string((std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime);
}

// SHA-256 through one CNG hash object, closed however the scope is left.
class Sha256 {
 public:
  Sha256() {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) {
      throw HistoryError("update history: the system offers no SHA-256 (CNG)");
    }
  }
  ~Sha256() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void add(std::string_view bytes) {
    // BCryptHashData takes a non-const pointer but only reads.
    auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
    if (!BCRYPT_SUCCESS(BCryptHashData(hash_, data, static_cast<ULONG>(bytes.size()), 0))) {
      throw HistoryError("update history: hashing the image failed (CNG)");
    }
  }

  std::array<std::uint8_t, 32> finish() {
    std::array<std::uint8_t, 32> digest{};
    if (!BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
      throw HistoryError("update history: hashing the image failed (CNG)");
    }
    return digest;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::string hostName() {
  // The DNS host name, as gethostname() gives it on Linux; not the NetBIOS
  // name, which is cut to 15 characters and upper case.
  std::array<wchar_t, 256> name{};
  DWORD size = static_cast<DWORD>(name.size());
  if (!GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size)) return {};
  return utf8(std::wstring_view(name.data(), size));
}

bool mayCreateIn(const std::filesystem::path& folder) {
  constexpr int kWrite = 2;  // _waccess's W_OK, which MinGW does not name
  return ::_waccess(folder.c_str(), kWrite) == 0;
}

std::string loginName() {
  std::array<wchar_t, UNLEN + 1> name{};
  DWORD size = static_cast<DWORD>(name.size());
  if (!GetUserNameW(name.data(), &size) || size == 0) return {};
  return utf8(std::wstring_view(name.data(), size - 1));  // size counts the terminating null
}

std::string defaultHistoryPath() {
  std::wstring base = environmentVariable(L"LOCALAPPDATA");
  if (!isAbsolute(base)) base = knownLocalAppData();
  if (base.empty()) {
    throw HistoryError("update history: no folder for it (LOCALAPPDATA is unset and the shell knows no local "
                       "application data folder)");
  }
  while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
  return utf8(base + std::wstring(kHistoryFile));
}

std::string imageDigest(const std::vector<std::string_view>& linesInSendingOrder) {
  Sha256 sha;
  for (const std::string_view line : linesInSendingOrder) {
    sha.add(line);
    sha.add("\n");
  }
  std::string hex;
  for (const std::uint8_t byte : sha.finish()) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}

std::string processToken(std::int64_t pid) {
  if (!isProcessId(pid)) return {};
  const ProcessHandle process = openProcess(pid, PROCESS_QUERY_LIMITED_INFORMATION);
  return process ? creationTime(process.get()) : std::string();
}

bool processLives(std::int64_t pid, const std::string& token) {
  if (!isProcessId(pid)) return false;
  const ProcessHandle process = openProcess(pid, PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE);
  // Refused: it exists, but belongs to someone this user may not look at.
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  // A process that has ended stays openable while any handle to it is open;
  // waiting, unlike its exit code, cannot mistake an exit status of 259
  // (STILL_ACTIVE) for a living process.
  if (WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return false;
  return token.empty() || token == creationTime(process.get());
}

}  // namespace zorvik::history
