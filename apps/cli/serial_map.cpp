#include <algorithm>
#include <cctype>

#include "cli.h"

namespace zorvik::cli {

std::vector<std::string> vcpPortsFromSerialMap(const std::vector<SerialMapValue>& values) {
  static const std::string prefix = "\\device\\vcp";
  std::vector<std::string> ports;
  for (const auto& [name, data] : values) {
    std::string lower = name.substr(0, prefix.size());
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == prefix) ports.push_back(data);
  }
  return ports;
}

}  // namespace zorvik::cli
