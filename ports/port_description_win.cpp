// Windows: the serial port map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) says
// which COM ports exist and which driver's device each is; the FTDI driver
// keeps each port's latency timer under its device's "Device Parameters"
// (HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\<device>\<instance>). The USB
// device itself is not asked for yet (that is the SetupAPI device tree), so
// usb and usbSerial stay unknown, as does the by-id name Windows has not.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "ports/port_description.h"
#include "ports/port_lister.h"

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

// A REG_SZ value's text: the stored string may or may not carry its
// terminating zero.
std::string stringData(const wchar_t* data, DWORD bytes) {
  DWORD chars = bytes / sizeof(wchar_t);
  while (chars > 0 && data[chars - 1] == L'\0') --chars;
  return narrow(data, chars);
}

// The subkey names of an open key.
std::vector<std::wstring> subkeys(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxChars];
    DWORD chars = kMaxChars;
    const LONG result = RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) names.emplace_back(name, chars);
  }
  return names;
}

// The latency timer of one instance's "Device Parameters" when its port is
// `port`.
std::optional<int> instanceLatency(HKEY deviceKey, const std::wstring& instance, const std::string& port) {
  HKEY parameters = nullptr;
  const std::wstring path = instance + L"\\Device Parameters";
  if (RegOpenKeyExW(deviceKey, path.c_str(), 0, KEY_QUERY_VALUE, &parameters) != ERROR_SUCCESS) return std::nullopt;
  std::optional<int> latency;
  wchar_t name[kMaxChars];
  DWORD nameBytes = sizeof name;
  DWORD type = 0;
  if (RegQueryValueExW(parameters, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &nameBytes) ==
          ERROR_SUCCESS &&
      type == REG_SZ && sameComPort(stringData(name, nameBytes), port)) {
    DWORD value = 0;
    DWORD valueBytes = sizeof value;
    if (RegQueryValueExW(parameters, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &valueBytes) == ERROR_SUCCESS &&
        type == REG_DWORD) {
      latency = static_cast<int>(value);
    }
  }
  RegCloseKey(parameters);
  return latency;
}

// The latency timer the FTDI driver keeps for `port`, in ms; nothing when no
// FTDI device of this machine has that port.
std::optional<int> ftdiLatency(const std::string& port) {
  HKEY bus = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS", 0,
                    KEY_ENUMERATE_SUB_KEYS, &bus) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::optional<int> latency;
  for (const std::wstring& device : subkeys(bus)) {
    HKEY deviceKey = nullptr;
    if (RegOpenKeyExW(bus, device.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &deviceKey) != ERROR_SUCCESS) continue;
    for (const std::wstring& instance : subkeys(deviceKey)) {
      latency = instanceLatency(deviceKey, instance, port);
      if (latency) break;
    }
    RegCloseKey(deviceKey);
    if (latency) break;
  }
  RegCloseKey(bus);
  return latency;
}

}  // namespace

// Read with the wide-character call, the registry's own form: the name and
// the data buffer are both counted in the same characters, the stored length
// of the data is exact, and the one conversion to narrow text is narrow()'s.
// The ANSI call would convert inside, with the name counted in characters but
// the data in bytes of its converted form.
std::optional<std::vector<SerialMapValue>> readSerialMap() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<SerialMapValue> values;
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
    values.emplace_back(narrow(name, nameChars), stringData(data, dataBytes));
  }
  RegCloseKey(key);
  return values;
}

PortDescription describePort(const std::string& port) {
  PortDescription description;
  description.path = port;
  if (const auto map = readSerialMap()) description.driver = serialMapDevice(*map, port).value_or(std::string());
  description.latencyMs = ftdiLatency(port);
  return description;
}

// The loggers' ports are the \Device\VCP entries of the map, in the order the
// registry enumerates them. The window and --list-ports show the same.
std::vector<std::string> listLoggerPorts() {
  return vcpPortsFromSerialMap(readSerialMap().value_or(std::vector<SerialMapValue>{}));
}

std::vector<std::string> listSerialPorts() { return listLoggerPorts(); }

}  // namespace zorvik::ports
