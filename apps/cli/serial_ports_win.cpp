// Windows: the loggers' ports are the \Device\VCP entries of the system's
// serial port map, listed as the registry enumerates them.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "cli.h"

namespace zorvik::cli {
namespace {

// Value names and port names are short; a longer value is no port of ours.
constexpr DWORD kMaxChars = 256;

std::vector<SerialMapValue> readSerialMap() {
  std::vector<SerialMapValue> values;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return values;
  }
  for (DWORD index = 0;; ++index) {
    char name[kMaxChars];
    DWORD nameChars = kMaxChars;
    char data[kMaxChars];
    DWORD dataBytes = kMaxChars;
    DWORD type = 0;
    const LONG result =
        RegEnumValueA(key, index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    // The stored string may or may not carry its terminating zero.
    while (dataBytes > 0 && data[dataBytes - 1] == '\0') --dataBytes;
    values.emplace_back(std::string(name, nameChars), std::string(data, dataBytes));
  }
  RegCloseKey(key);
  return values;
}

}  // namespace

std::vector<std::string> listSerialPorts() { return vcpPortsFromSerialMap(readSerialMap()); }

}  // namespace zorvik::cli
