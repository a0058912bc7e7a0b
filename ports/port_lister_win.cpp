// Windows: the loggers' ports are the \Device\VCP entries of the system's
// serial port map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), listed in the order
// the registry enumerates them. The window and --list-ports show the same.
#include <windows.h>

#include "ports/port_lister.h"
#include "ports/port_rules.h"

namespace zorvik::ports {
namespace {

// Value names and port names are short; a longer value is no port of ours.
constexpr DWORD kMaxChars = 256;

// The registry keeps these strings in UTF-16, and the serial code opens a
// port by its narrow name (CreateFileA), which Windows widens again with the
// ANSI code page; narrowing with that same code page here makes the round
// trip exact for every name the code page can hold.
std::string narrow(const wchar_t* text, DWORD chars) {
  if (chars == 0) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), out.data(), n, nullptr, nullptr);
  return out;
}

// Read with the wide-character call, the registry's own form: the name and
// the data buffer are both counted in the same characters, the stored length
// of the data is exact, and the one conversion to narrow text is narrow()'s.
// The ANSI call would convert inside, with the name counted in characters but
// the data in bytes of its converted form.
std::vector<SerialMapValue> readSerialMap() {
  std::vector<SerialMapValue> values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return values;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxChars];
    DWORD nameChars = kMaxChars;
    wchar_t data[kMaxChars];
    DWORD dataBytes = sizeof data;
    DWORD type = 0;
    const LONG result =
        RegEnumValueW(key, index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    // The stored string may or may not carry its terminating zero.
    DWORD dataChars = dataBytes / sizeof(wchar_t);
    while (dataChars > 0 && data[dataChars - 1] == L'\0') --dataChars;
    values.emplace_back(narrow(name, nameChars), narrow(data, dataChars));
  }
  RegCloseKey(key);
  return values;
}

}  // namespace

std::vector<std::string> listLoggerPorts() { return vcpPortsFromSerialMap(readSerialMap()); }

std::vector<std::string> listSerialPorts() { return listLoggerPorts(); }

}  // namespace zorvik::ports
