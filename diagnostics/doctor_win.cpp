// Windows: the serial port map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) says
// whether the COM port exists and which driver made it; the FTDI driver keeps
// each port's latency timer under its device's "Device Parameters"
// (HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\<device>\<instance>). Windows
// grants every user its COM ports, so a refused open means another program
// has the port: it opens COM ports for one program at a time.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/doctor_texts.h"
#include "diagnostics/platform_checks.h"
#include "ports/port_lister.h"

namespace zorvik::diagnostics {
namespace {

constexpr DWORD kMaxChars = 256;
constexpr std::string_view kListPorts = "see zorvik-updater-cli --list-ports";

// Narrow text as the serial code names ports (CreateFileA, the ANSI code page).
std::string narrow(const wchar_t* text, DWORD chars) {
  if (chars == 0) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), out.data(), n, nullptr, nullptr);
  return out;
}

// "\\.\com5" and "COM5" are the same port.
std::string portKey(std::string port) {
  if (port.rfind("\\\\.\\", 0) == 0) port.erase(0, 4);
  for (char& c : port) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return port;
}

// A REG_SZ value's text without its terminating zeros.
std::string stringData(const wchar_t* data, DWORD bytes) {
  DWORD chars = bytes / sizeof(wchar_t);
  while (chars > 0 && data[chars - 1] == L'\0') --chars;
  return narrow(data, chars);
}

// Every value of the serial port map: device object name, port name.
std::optional<std::vector<std::pair<std::string, std::string>>> serialMap() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<std::pair<std::string, std::string>> values;
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

Finding serialMapFinding(const std::string& port) {
  const auto map = serialMap();
  if (!map) {
    return {"serial-map", Level::Fail, "the serial port map (HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM) is empty: no COM port exists",
            "is the adapter plugged in? " + std::string(kListPorts)};
  }
  for (const auto& [device, name] : *map) {
    if (portKey(name) != portKey(port)) continue;
    if (portKey(device).rfind("\\DEVICE\\VCP", 0) == 0) {
      return {"serial-map", Level::Ok, port + " is an FTDI USB serial port (" + device + ")", {}};
    }
    return {"serial-map", Level::Warning, port + " is a port of another driver (" + device + "), not an FTDI adapter, which the loggers' cables have",
            "connect the logger through its own USB cable"};
  }
  return {"serial-map", Level::Fail, port + " is not in the serial port map: no such port",
          "is the adapter plugged in? " + std::string(kListPorts)};
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
      HKEY parameters = nullptr;
      const std::wstring path = instance + L"\\Device Parameters";
      if (RegOpenKeyExW(deviceKey, path.c_str(), 0, KEY_QUERY_VALUE, &parameters) != ERROR_SUCCESS) continue;
      wchar_t name[kMaxChars];
      DWORD nameBytes = sizeof name;
      DWORD type = 0;
      if (RegQueryValueExW(parameters, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &nameBytes) ==
              ERROR_SUCCESS &&
          type == REG_SZ && portKey(stringData(name, nameBytes)) == portKey(port)) {
        DWORD value = 0;
        DWORD valueBytes = sizeof value;
        if (RegQueryValueExW(parameters, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                             &valueBytes) == ERROR_SUCCESS &&
            type == REG_DWORD) {
          latency = static_cast<int>(value);
        }
      }
      RegCloseKey(parameters);
      if (latency) break;
    }
    RegCloseKey(deviceKey);
    if (latency) break;
  }
  RegCloseKey(bus);
  return latency;
}

}  // namespace

namespace detail {

PlatformChecks platformChecks(const std::string& port, const SystemRoots&) {
  PlatformChecks checks;
  checks.openPath = port;
  checks.findings.push_back(serialMapFinding(port));
  if (checks.findings.back().level != Level::Fail) {
    checks.findings.push_back(latencyFinding(
        ftdiLatency(port), "Device Manager, Ports (COM & LPT), " + port +
                               ", Properties, Port Settings, Advanced: set Latency Timer (msec) to 1"));
  }
  return checks;
}

std::vector<std::string> loggerPortsToCheck(const SystemRoots&) { return ports::listLoggerPorts(); }

std::optional<Explanation> platformExplanation(const std::string&, const Failure& failure, const SystemRoots&) {
  if (failure.kind != FailureKind::Busy) return std::nullopt;
  std::string reason = "another program holds the port (Windows lets one program at a time open a COM port)";
  if (!failure.osText.empty()) reason += " (" + failure.osText + ")";
  return Explanation{reason, "close the program that uses it (a terminal program, another updater) and try again"};
}

}  // namespace detail
}  // namespace zorvik::diagnostics
