// The firmware a run may send: the twelve built-in images (compiled-in
// constants, indexes 1-12), or one image file the user loaded (index 0).
// A run holds its ImageSource by value; a loaded file is shared read-only, so
// any number of runs may send it at once and nothing changes under them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "images/image_header.h"

namespace zorvik::images {

constexpr int kBuiltInImageCount = 12;
constexpr int kFileImageIndex = 0;

// An image read from a file: its header and every record line in file order.
struct ImageFile {
  ImageHeader header;
  std::vector<std::string> lines;
};

// Header of built-in image 1-12. Any other index gives a header whose class,
// platform and print are 0xFFFF (no valid code), so nothing ever matches it.
ImageHeader builtInHeader(int image);

class ImageSource {
 public:
  // The built-in images.
  ImageSource() = default;
  // One loaded file, as image 0. A null file means the built-in images.
  explicit ImageSource(std::shared_ptr<const ImageFile> file) : file_(std::move(file)) {}

  bool isFile() const { return file_ != nullptr; }
  int firstIndex() const { return isFile() ? kFileImageIndex : 1; }
  int lastIndex() const { return isFile() ? kFileImageIndex : kBuiltInImageCount; }
  bool contains(int image) const { return image >= firstIndex() && image <= lastIndex(); }

  // Outside this source: the marked header of builtInHeader.
  ImageHeader header(int image) const;
  // Index of the last line (the end record in a sound image); 0 outside.
  int lastLine(int image) const;
  // Line i of the image; empty outside the image or the source. Valid as
  // long as this source (or a copy of it) lives.
  std::string_view line(int image, int i) const;

 private:
  std::shared_ptr<const ImageFile> file_;
};

// The newest image the source holds for loggers of `deviceClass`; none when
// it holds none. Which one a logger gets depends on its platform and print,
// which only its bootloader tells: no logger of the class gets a newer one.
std::optional<ImageHeader> newestImageFor(std::uint16_t deviceClass, const ImageSource& images);

}  // namespace zorvik::images
