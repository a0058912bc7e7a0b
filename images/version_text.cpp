#include "images/version_text.h"

#include <cstdio>

namespace zorvik::images {

std::string versionText(std::uint16_t major, std::uint16_t minor) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%.2d", int{major}, int{minor});
  return text;
}

std::string versionWordText(std::uint16_t word) {
  return versionText(static_cast<std::uint16_t>(word >> 8), static_cast<std::uint16_t>(word & 0xFF));
}

}  // namespace zorvik::images
