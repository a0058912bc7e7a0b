#include "programmed_image.h"

#include "catalogue.h"
#include "record_codec.h"

namespace zorvik::sim {
namespace {

bool flashHoldsImage(const std::map<std::uint16_t, std::string>& flash, int image) {
  TBl3FileHeader header;
  int last = 0;
  std::string text;
  if (!QueryFirmware(image, kQueryLastIndex, 0, header, last, text)) return false;
  std::size_t dataLines = 0;
  for (int i = 0; i <= last; ++i) {
    int unused = 0;
    QueryFirmware(image, kQueryLine, i, header, unused, text);
    RecordBytes record{};
    if (!decodeRecord(text, record) || record[kRecCount] != kMaxRecordData || record[kRecType] != 0) continue;
    ++dataLines;
    const auto address = static_cast<std::uint16_t>(record[kRecAddrHigh] << 8 | record[kRecAddrLow]);
    const auto found = flash.find(address);
    if (found == flash.end() || found->second != text) return false;
  }
  return dataLines > 0 && dataLines == flash.size();
}

}  // namespace

std::optional<ProgrammedImage> builtInImageInFlash(const std::map<std::uint16_t, std::string>& flash) {
  if (flash.empty()) return std::nullopt;
  for (int image = 1; image <= FirmwareImageCount(); ++image) {
    if (!flashHoldsImage(flash, image)) continue;
    const TBl3FileHeader header = GetFirmwareHeader(image);
    const auto version = static_cast<std::uint16_t>((header.qorn_verH & 0xFF) << 8 | (header.qorn_verL & 0xFF));
    return ProgrammedImage{image, header.qorn_class, version};
  }
  return std::nullopt;
}

}  // namespace zorvik::sim
