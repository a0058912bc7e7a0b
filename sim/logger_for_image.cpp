#include "sim/logger_for_image.h"

#include "images/catalogue.h"
#include "images/identity_tables.h"

namespace zorvik::sim {

LoggerConfig loggerFor(int image) {
  const images::ImageHeader h = images::builtInHeader(image);
  LoggerConfig c;
  c.appVersion = static_cast<std::uint16_t>(h.versionHigh << 8 | (h.versionLow & 0xFF));
  c.bootloaderId = h.bootloader == 2 ? images::kClassBootloader2 : images::kClassBootloader3;
  c.bootloaderVersion = h.bootloaderVersion;
  c.platform = c.upidPlatform = h.platform;
  c.print = c.upidPrint = h.print;
  if (image == 8) c.serialNumber = 328300;
  return c;
}

}  // namespace zorvik::sim
