#include <cstdlib>
#include <fstream>

#include "engine/service_mode_setting.h"
#include "engine/startup_options.h"

namespace zorvik::engine {
namespace {

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

}  // namespace

std::string serviceModeSettingLocation() {
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

bool readServiceModeSetting() {
  const std::string path = serviceModeSettingLocation();
  if (path.empty()) return false;
  return iniGeneralValue(path, "intern") == std::to_string(kServiceAccessCode);
}

}  // namespace zorvik::engine
