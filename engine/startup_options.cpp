#include "engine/startup_options.h"

#include <algorithm>
#include <cctype>

namespace zorvik::engine {
namespace {

constexpr std::size_t kMaxParamValue = 1000;

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::string paramValue(const std::vector<std::string>& arguments, const std::string& key,
                       const std::string& defaultValue) {
  for (const auto& argument : arguments) {
    if (argument.size() > key.size() && equalsIgnoreCase(argument.substr(0, key.size()), key)) {
      return argument.substr(key.size(), kMaxParamValue);
    }
  }
  return defaultValue;
}

StartupOptions readStartupOptions(bool serviceMode, const std::vector<std::string>& arguments) {
  StartupOptions options;
  options.serviceMode = serviceMode;
  if (serviceMode) {
    if (paramValue(arguments, "cc:", "") == "-") options.runOptions.checkClass = false;
    if (paramValue(arguments, "cf:", "") == "-") options.runOptions.checkFirmwareClass = false;
    if (paramValue(arguments, "cp:", "") == "-") options.runOptions.checkPlatform = false;
  }
  options.memoryFormat = paramValue(arguments, "mf:", "") == "+";
  if (serviceMode) {
    options.fileMode = paramValue(arguments, "f:", "-") == "+" ? FileMode::ServiceWithFiles : FileMode::Service;
  }
  return options;
}

}  // namespace zorvik::engine
