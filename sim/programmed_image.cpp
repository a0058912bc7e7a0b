#include "sim/programmed_image.h"

#include "images/catalogue.h"
#include "images/record_codec.h"

namespace zorvik::sim {
namespace {

bool flashHoldsImage(const std::map<std::uint16_t, std::string>& flash, const images::ImageSource& images, int image) {
  const int last = images.lastLine(image);
  std::size_t dataLines = 0;
  for (int i = 0; i <= last; ++i) {
    const std::string_view text = images.line(image, i);
    images::RecordBytes record{};
    if (!images::decodeRecord(text, record) || record[images::kRecCount] != images::kMaxRecordData || record[images::kRecType] != 0) continue;
    ++dataLines;
    const auto address = static_cast<std::uint16_t>(record[images::kRecAddrHigh] << 8 | record[images::kRecAddrLow]);
    const auto found = flash.find(address);
    if (found == flash.end() || found->second != text) return false;
  }
  return dataLines > 0 && dataLines == flash.size();
}

}  // namespace

std::optional<ProgrammedImage> builtInImageInFlash(const std::map<std::uint16_t, std::string>& flash) {
  if (flash.empty()) return std::nullopt;
  const images::ImageSource builtIn;
  for (int image = builtIn.firstIndex(); image <= builtIn.lastIndex(); ++image) {
    if (!flashHoldsImage(flash, builtIn, image)) continue;
    const images::ImageHeader header = images::builtInHeader(image);
    const auto version = static_cast<std::uint16_t>((header.versionHigh & 0xFF) << 8 | (header.versionLow & 0xFF));
    return ProgrammedImage{image, header.deviceClass, version};
  }
  return std::nullopt;
}

}  // namespace zorvik::sim
