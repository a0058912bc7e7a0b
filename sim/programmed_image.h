// Private to its library.
// Which built-in firmware image, if any, the simulated flash now holds: the
// restarted application reports that image's class and version, as a real
// logger would after a complete update.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace zorvik::sim {

struct ProgrammedImage {
  int index;                  // 1-12
  std::uint16_t deviceClass;  // the image header's class
  std::uint16_t version;      // version high in the high byte, version low in the low byte
};

// The first built-in image whose 64-byte data lines the flash holds exactly:
// every such line at its address with identical text, and nothing else.
std::optional<ProgrammedImage> builtInImageInFlash(const std::map<std::uint16_t, std::string>& flash);

}  // namespace zorvik::sim
