// The image file reader on any bytes: the text parser, the header reader on a
// stream, and the file loader through a temporary file must agree, and none
// may crash, hang or take a header line for a record line.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "images/catalogue.h"
#include "images/image_file.h"

using namespace zorvik::images;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

const std::string& tempFile() {
  static const std::string path = [] {
    std::string name = "/tmp/zorvik-fuzz-image-" + std::to_string(::getpid()) + ".txt";
    std::atexit([] { ::unlink(tempFile().c_str()); });
    return name;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  ImageHeader parsedHeader;
  std::vector<std::string> lines;
  const ImageLoadResult parsed = parseImageText(text, parsedHeader, lines);
  check(parsed == ImageLoadResult::Loaded || parsed == ImageLoadResult::BadHeader);
  for (const auto& line : lines) {
    check(line.find('=') == std::string::npos);
    check(line.find('\n') == std::string::npos);
  }

  // The stream reader sees the same header (it does not skip a byte-order mark).
  if (text.rfind("\xEF\xBB\xBF", 0) != 0) {
    std::istringstream stream(text);
    ImageHeader streamHeader;
    const bool read = readImageHeader(stream, streamHeader);
    check(read == (parsed == ImageLoadResult::Loaded));
    if (read) check(streamHeader == parsedHeader);
  }

  // And the file loader gives the same image; what the image held before
  // (here a line left from an earlier load) is gone either way.
  { std::ofstream(tempFile(), std::ios::binary | std::ios::trunc) << text; }
  ImageFile image;
  image.lines.emplace_back(":00000001FF");
  const ImageLoadResult loaded = loadImageFile(tempFile(), image);
  check(loaded == parsed);
  if (loaded == ImageLoadResult::Loaded) {
    check(image.lines == lines);
    check(image.header == parsedHeader);
  } else {
    check(image.lines.empty());
  }
  return 0;
}
