#include "startup_options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "run_options.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zorvik {
namespace {

constexpr std::size_t kMaxParamValue = 1000;

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

#ifndef _WIN32
// Windows keeps the internal-mode value in the registry; elsewhere it is an INI file.
std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

// The value of `key` in the [General] section of a Qt-style INI file.
std::string iniGeneralValue(const std::string& path, const std::string& key) {
  std::ifstream file(path);
  std::string line;
  bool general = false;
  while (std::getline(file, line)) {
    line = trimmed(line);
    if (!line.empty() && line.front() == '[') {
      general = line == "[General]";
      continue;
    }
    const auto eq = line.find('=');
    if (general && eq != std::string::npos && trimmed(line.substr(0, eq)) == key) {
      return trimmed(line.substr(eq + 1));
    }
  }
  return {};
}
#endif

}  // namespace

std::string internalModeSettingsPath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    return {};
  }
  return base + "/Harventa/Qorn.conf";
}

#ifdef _WIN32
bool ReadInternalMode() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Harventa\\Qorn", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG rc = RegQueryValueExA(key, "intern", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD && value == static_cast<DWORD>(kInternalAccessCode);
}
#else
bool ReadInternalMode() {
  const std::string path = internalModeSettingsPath();
  if (path.empty()) return false;
  const std::string value = iniGeneralValue(path, "intern");
  return value == std::to_string(kInternalAccessCode);
}
#endif

std::string GetParamValue(const std::vector<std::string>& arguments, const std::string& key,
                          const std::string& defaultValue) {
  for (const auto& argument : arguments) {
    if (argument.size() > key.size() && equalsIgnoreCase(argument.substr(0, key.size()), key)) {
      return argument.substr(key.size(), kMaxParamValue);
    }
  }
  return defaultValue;
}

StartupOptions applyStartupOptions(bool internalMode, const std::vector<std::string>& arguments) {
  StartupOptions options;
  options.internalMode = internalMode;
  if (internalMode) {
    if (GetParamValue(arguments, "cc:", "") == "-") OptCheckClass = false;
    if (GetParamValue(arguments, "cf:", "") == "-") OptCheckFirmwareClass = false;
    if (GetParamValue(arguments, "cp:", "") == "-") OptCheckPlatform = false;
  }
  const std::string mf = GetParamValue(arguments, "mf:", "");
  options.memoryFormat = mf == "+";
  if (internalMode) options.fileMode = GetParamValue(arguments, "f:", "-") == "+" ? 2 : 1;
  return options;
}

}  // namespace zorvik
