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
  std::uint16_t deviceClass;  // qorn_class
  std::uint16_t version;      // qorn_verH high byte, qorn_verL low byte
};

// The first built-in image whose 64-byte data lines the flash holds exactly:
// every such line at its address with identical text, and nothing else.
std::optional<ProgrammedImage> builtInImageInFlash(const std::map<std::uint16_t, std::string>& flash);

}  // namespace zorvik::sim
