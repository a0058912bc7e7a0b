#include "logger_for_image.h"

#include "catalogue.h"
#include "identity_tables.h"

namespace zorvik::sim {

LoggerConfig loggerFor(int image) {
  const TBl3FileHeader h = GetFirmwareHeader(image);
  LoggerConfig c;
  c.appVersion = static_cast<std::uint16_t>(h.qorn_verH << 8 | (h.qorn_verL & 0xFF));
  c.bootloaderId = h.qorn_bl == 2 ? kClassBootloader2 : kClassBootloader3;
  c.bootloaderVersion = h.qorn_bl_ver;
  c.platform = c.upidPlatform = h.qorn_platform;
  c.print = c.upidPrint = h.qorn_print;
  if (image == 8) c.serialNumber = 328300;
  return c;
}

}  // namespace zorvik::sim
