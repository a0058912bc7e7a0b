#include "images/image_file.h"

#include "images/protocol.h"
#include "images/record_codec.h"
#include "images/sending_order.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>

namespace zorvik::images {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Integer value of a header field: an optional sign and decimal digits, in the
// range of a 32-bit signed integer. Anything else - empty text, blanks, a
// trailing letter, a number too large for 32 bits - is a conversion error.
std::optional<std::int32_t> parseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::uint32_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const std::uint32_t limit = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) + (negative ? 1u : 0u);
  if (magnitude > limit) return std::nullopt;
  const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(value);
}

// The header fields keep the low 16 bits of the number read.
bool readNumber(const std::string& line, const std::string& key, std::uint16_t& field) {
  const std::optional<std::int32_t> value = parseInteger(headerValue(line, key));
  if (!value) return false;
  field = static_cast<std::uint16_t>(static_cast<std::uint32_t>(*value) & 0xFFFF);
  return true;
}

// The eight header lines; nextLine gives an empty line past the end of the text.
bool readHeaderLines(const std::function<std::string()>& nextLine, ImageHeader& header) {
  const std::string bootloader = headerValue(nextLine(), "bootloader");
  header.bootloader = bootloader == "2" ? 2 : bootloader == "3" ? 3 : 0xFFFF;
  if (!readNumber(nextLine(), "bootloader version", header.bootloaderVersion)) return false;
  if (!readNumber(nextLine(), "class", header.deviceClass)) return false;
  if (!readNumber(nextLine(), "versionH", header.versionHigh)) return false;
  if (!readNumber(nextLine(), "versionL", header.versionLow)) return false;
  if (!readNumber(nextLine(), "platform", header.platform)) return false;
  if (!readNumber(nextLine(), "print", header.print)) return false;
  header.date = headerValue(nextLine(), "date");
  return true;
}

// Splits a text into lines: LF ends a line, and so does CR LF; a final line
// without a line end still counts.
class LineSplitter {
 public:
  explicit LineSplitter(std::string_view text) : rest_(text) {}

  bool atEnd() const { return rest_.empty(); }

  std::string_view next() {
    const std::size_t lf = rest_.find('\n');
    std::string_view line = rest_.substr(0, lf);
    rest_.remove_prefix(lf == std::string_view::npos ? rest_.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

 private:
  std::string_view rest_;
};

std::string_view withoutBom(std::string_view text) {
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  return text;
}

bool parseHeader(std::string_view text, ImageHeader& header) {
  LineSplitter lines(text);
  return readHeaderLines([&lines] { return std::string(lines.atEnd() ? std::string_view() : lines.next()); }, header);
}

// The whole file, or why it cannot be had. The size is checked before
// anything is read, and the read itself is bounded, so neither a huge file nor
// one that grows meanwhile (or a device that never ends) is pulled into memory.
ImageLoadResult readWholeFile(const std::string& fileName, std::string& text) {
  std::error_code error;
  const std::filesystem::path path(fileName);
  if (!std::filesystem::is_regular_file(path, error)) return ImageLoadResult::Unreadable;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return ImageLoadResult::Unreadable;
  if (size > kMaxImageFileBytes) return ImageLoadResult::TooLarge;
  std::ifstream file(path, std::ios::binary);
  if (!file) return ImageLoadResult::Unreadable;
  std::vector<char> chunk(64 * 1024);
  text.clear();
  while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || file.gcount() > 0) {
    text.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxImageFileBytes) return ImageLoadResult::TooLarge;
  }
  if (file.bad()) return ImageLoadResult::Unreadable;
  return ImageLoadResult::Loaded;
}

}  // namespace

std::string headerValue(const std::string& line, const std::string& key) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return {};
  if (line.compare(0, equals, key) != 0) return {};
  return line.substr(equals + 1);
}

bool readImageHeader(std::istream& file, ImageHeader& header) {
  return readHeaderLines(
      [&file] {
        std::string line;
        if (!std::getline(file, line)) return std::string();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      },
      header);
}

ImageLoadResult parseImageText(std::string_view text, ImageHeader& header, std::vector<std::string>& lines) {
  lines.clear();
  text = withoutBom(text);
  if (!parseHeader(text, header)) return ImageLoadResult::BadHeader;
  // Header lines go by content, not by position: whatever holds "=" is dropped,
  // everything else - blank lines included - is a record line.
  for (LineSplitter splitter(text); !splitter.atEnd();) {
    const std::string_view line = splitter.next();
    if (line.find('=') == std::string_view::npos) lines.emplace_back(line);
  }
  return ImageLoadResult::Loaded;
}

ImageLoadResult loadImageFile(const std::string& fileName, ImageFile& image) {
  image = ImageFile{};
  std::string text;
  const ImageLoadResult read = readWholeFile(fileName, text);
  if (read != ImageLoadResult::Loaded) return read;
  return parseImageText(text, image.header, image.lines);
}

ImageLinesCheck checkImageLines(const std::vector<std::string>& lines) {
  if (lines.size() < 2 || lines.back() != protocol::kEndLine) {
    return {ImageLinesCheck::NoEndLine, static_cast<int>(lines.size()) - 1};
  }
  RecordBytes record{};
  bool anySent = false;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (!decodeRecord(lines[i], record)) return {ImageLinesCheck::BadRecord, static_cast<int>(i)};
    anySent = anySent || lineRole(record) != LineRole::Skipped;
  }
  if (!anySent) return {ImageLinesCheck::NoDataLines, -1};
  return {};
}

CheckedImageFile loadCheckedImageFile(const std::string& fileName) {
  CheckedImageFile checked;
  auto image = std::make_shared<ImageFile>();
  checked.load = loadImageFile(fileName, *image);
  if (checked.load != ImageLoadResult::Loaded) return checked;
  checked.lines = checkImageLines(image->lines);
  if (checked.lines.result == ImageLinesCheck::Ok) checked.file = std::move(image);
  return checked;
}

ImageLoadResult readImageFileHeader(const std::string& fileName, ImageHeader& header) {
  std::string text;
  const ImageLoadResult read = readWholeFile(fileName, text);
  if (read != ImageLoadResult::Loaded) return read;
  return parseHeader(withoutBom(text), header) ? ImageLoadResult::Loaded : ImageLoadResult::BadHeader;
}

}  // namespace zorvik::images
