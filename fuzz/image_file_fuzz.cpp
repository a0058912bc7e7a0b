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

#include "catalogue.h"
#include "image_file.h"

using namespace zorvik;

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

  TBl3FileHeader parsedHeader;
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
    TBl3FileHeader streamHeader;
    const bool read = ReadImageHeader(stream, streamHeader);
    check(read == (parsed == ImageLoadResult::Loaded));
    if (read) check(streamHeader == parsedHeader);
  }

  // And the file loader fills the catalogue's image 0 with the same lines.
  { std::ofstream(tempFile(), std::ios::binary | std::ios::trunc) << text; }
  SelectedImage = -1;
  const ImageLoadResult loaded = LoadImageFile(tempFile());
  check(loaded == parsed);
  if (loaded == ImageLoadResult::Loaded) {
    check(SelectedImage.load() == 0);
    check(ExternalImageLines == lines);
    check(ExternalImageHeader == parsedHeader);
  } else {
    check(SelectedImage.load() == -1);
    check(ExternalImageLines.empty());
  }
  return 0;
}
