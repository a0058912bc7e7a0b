#include "images/catalogue.h"

#include <cstddef>
#include <utility>

#include "images/firmware/builtin_images.h"
#include "images/identity_tables.h"

namespace zorvik::images {
namespace {

static_assert(firmware::kBuiltInImageCount == kBuiltInImageCount);

ImageHeader markedHeader() {
  ImageHeader h;
  h.deviceClass = kNoCode;
  h.platform = kNoCode;
  h.print = kNoCode;
  return h;
}

ImageHeader toHeader(const firmware::BuiltInHeader& h) {
  return {h.deviceClass, h.versionHigh, h.versionLow, h.platform, h.print, std::string(h.date),
          h.bootloader, h.bootloaderVersion};
}

bool isBuiltIn(int image) { return image >= 1 && image <= kBuiltInImageCount; }

const firmware::BuiltInImage& builtIn(int image) {
  return firmware::kBuiltInImages[static_cast<std::size_t>(image - 1)];
}

template <typename Lines>
std::string_view lineAt(const Lines& lines, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) return {};
  return lines[static_cast<std::size_t>(index)];
}

template <typename Lines>
int lastIndexOf(const Lines& lines) {
  return lines.empty() ? 0 : static_cast<int>(lines.size()) - 1;
}

}  // namespace

ImageHeader builtInHeader(int image) { return isBuiltIn(image) ? toHeader(builtIn(image).header) : markedHeader(); }

ImageHeader ImageSource::header(int image) const {
  if (!contains(image)) return markedHeader();
  return isFile() ? file_->header : builtInHeader(image);
}

int ImageSource::lastLine(int image) const {
  if (!contains(image)) return 0;
  return isFile() ? lastIndexOf(file_->lines) : lastIndexOf(builtIn(image).lines);
}

std::string_view ImageSource::line(int image, int i) const {
  if (!contains(image)) return {};
  return isFile() ? lineAt(file_->lines, i) : lineAt(builtIn(image).lines, i);
}

std::optional<ImageHeader> newestImageFor(std::uint16_t deviceClass, const ImageSource& images) {
  std::optional<ImageHeader> newest;
  for (int i = images.firstIndex(); i <= images.lastIndex(); ++i) {
    ImageHeader h = images.header(i);
    if (h.deviceClass != deviceClass) continue;
    if (!newest || std::pair(h.versionHigh, h.versionLow) > std::pair(newest->versionHigh, newest->versionLow)) {
      newest = std::move(h);
    }
  }
  return newest;
}

}  // namespace zorvik::images
