// The text format of a firmware image file: eight "key=value" header lines,
// then Intel HEX record lines. Parsing is kept apart from file I/O.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "images/catalogue.h"
#include "images/image_header.h"

namespace zorvik::images {

// Value of `line` when the text before its first "=" equals key exactly; else empty.
std::string headerValue(const std::string& line, const std::string& key);

// Reads the eight header lines from the current position. Fields are written
// as their lines are read; a line 2-7 whose value is not a decimal integer
// stops the reading and gives false (the conversion error).
bool readImageHeader(std::istream& file, ImageHeader& header);

// A real image is about 120 KB; anything far larger is refused unread.
constexpr std::size_t kMaxImageFileBytes = 4 * 1024 * 1024;

enum class ImageLoadResult { Loaded, Unreadable, TooLarge, BadHeader };

// Parses a whole image text (CR LF or LF line ends, a leading UTF-8 BOM
// skipped): header into `header`, and every line without "=" into `lines`.
ImageLoadResult parseImageText(std::string_view text, ImageHeader& header, std::vector<std::string>& lines);

// Loads a whole image file into `image` (emptied first). On a failure the
// header fields read before the bad line keep their values; the rest of the
// header and the lines stay empty.
ImageLoadResult loadImageFile(const std::string& fileName, ImageFile& image);

// Whether programming would take every record line of an image: the last line
// is the end record ":00000001FF", every line before it decodes, and at least
// one of them is a line programming sends (a full data line). Checked
// before a run starts, so that a broken file never gets as far as the logger
// (programming would otherwise switch it to its bootloader and write part of
// the image before it met the bad line; a file with nothing to send would have
// the flash erased, nothing written, and the run end in success).
struct ImageLinesCheck {
  enum Result { Ok, NoEndLine, BadRecord, NoDataLines } result = Ok;
  int line = -1;  // index of the offending line; -1 for Ok and NoDataLines
};
ImageLinesCheck checkImageLines(const std::vector<std::string>& lines);

// A file loaded for sending: read, parsed and checked whole, so that a run
// never meets a bad line after the logger has been switched to its
// bootloader. `file` is set only when both checks passed.
struct CheckedImageFile {
  ImageLoadResult load = ImageLoadResult::Unreadable;
  ImageLinesCheck lines;
  std::shared_ptr<const ImageFile> file;
};
CheckedImageFile loadCheckedImageFile(const std::string& fileName);

// Header only, for showing a file's header.
ImageLoadResult readImageFileHeader(const std::string& fileName, ImageHeader& header);

}  // namespace zorvik::images
