// Turns the built-in image texts into the catalogue's constant tables.
//
//   embed_images <manifest.txt> <directory of imageNN.txt> <output.cpp>
//
// Every image is checked against its manifest row first - header, line count,
// every record, first address, vector-table line, end line - and any
// difference fails the build with the file and line at fault. The output is
// written only when all twelve images pass, so a damaged image can never be
// compiled in.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "images/record_codec.h"

namespace {

constexpr int kImageCount = 12;
constexpr std::size_t kHeaderLines = 8;
constexpr std::size_t kDataLineLength = 139;
constexpr std::uint32_t kVectorAddress = 0x03DF;
constexpr std::string_view kEndLine = ":00000001FF";
const char* const kHeaderKeys[kHeaderLines] = {"bootloader", "bootloader version", "class", "versionH",
                                               "versionL",   "platform",           "print", "date"};

// One manifest row. header[] holds the eight header values as the image text
// must spell them.
struct Expected {
  std::string file;
  std::string header[kHeaderLines];
  std::uint32_t number[kHeaderLines - 1] = {};  // header[0..6] as numbers
  std::size_t lines = 0;
  std::uint32_t firstAddress = 0;
  std::optional<std::size_t> vectorIndex;
};

struct Image {
  Expected expected;
  std::vector<std::string> lines;  // record lines, end line included
};

// Thrown with the complete message ("image07.txt line 312: checksum wrong").
struct BuildError {
  std::string message;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) { throw BuildError{where + ": " + what}; }

std::string hex4(std::uint32_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(v & 0xFFFF));
  return text;
}

std::string trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return std::string(s.substr(first, last - first + 1));
}

std::vector<std::string> splitColumns(const std::string& row) {
  std::vector<std::string> columns;
  std::size_t start = 0;
  for (std::size_t bar = row.find('|'); bar != std::string::npos; bar = row.find('|', start)) {
    columns.push_back(trim(std::string_view(row).substr(start, bar - start)));
    start = bar + 1;
  }
  columns.push_back(trim(std::string_view(row).substr(start)));
  return columns;
}

// Whole text as an unsigned number of the given base, or nothing.
std::optional<std::uint32_t> parseNumber(const std::string& text, int base, std::uint32_t max) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::size_t used = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(text, &used, base);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (used != text.size() || text[0] == '+' || text[0] == '-' || value > max) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

Expected parseManifestRow(const std::vector<std::string>& c, const std::string& where) {
  if (c.size() != 12) fail(where, std::to_string(c.size()) + " columns, expected 12");
  Expected e;
  e.file = c[0];
  for (std::size_t i = 0; i < kHeaderLines; ++i) {
    e.header[i] = c[i + 1];
    if (i + 1 == kHeaderLines) break;
    const auto number = parseNumber(e.header[i], 10, 0xFFFF);
    if (!number) fail(where, std::string("\"") + kHeaderKeys[i] + "\" is not a number 0-65535: " + e.header[i]);
    e.number[i] = *number;
  }
  const auto lines = parseNumber(c[9], 10, 100000);
  const auto first = parseNumber(c[10], 16, 0xFFFF);
  if (!lines || *lines < 2) fail(where, "bad line count " + c[9]);
  if (!first) fail(where, "bad first address " + c[10]);
  e.lines = *lines;
  e.firstAddress = *first;
  if (c[11] != "-") {
    const auto vector = parseNumber(c[11], 10, 100000);
    if (!vector) fail(where, "bad vector-table index " + c[11]);
    e.vectorIndex = *vector;
  }
  return e;
}

std::vector<Expected> readManifest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot open");
  std::vector<Expected> rows;
  std::string row;
  for (int number = 1; std::getline(in, row); ++number) {
    if (trim(row).empty() || trim(row)[0] == '#') continue;
    const std::string where = path + " line " + std::to_string(number);
    rows.push_back(parseManifestRow(splitColumns(row), where));
    char name[16];
    std::snprintf(name, sizeof name, "image%02zu.txt", rows.size());
    if (rows.back().file != name) fail(where, "expected the row of " + std::string(name));
  }
  if (rows.size() != kImageCount) fail(path, std::to_string(rows.size()) + " image rows, expected 12");
  return rows;
}

std::vector<std::string> readLines(const std::string& path, const std::string& name) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(name, "cannot open " + path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find('\r') != std::string::npos)
      fail(name + " line " + std::to_string(lines.size() + 1), "carriage return; image texts end lines with LF only");
    lines.push_back(line);
  }
  return lines;
}

void checkHeader(const std::vector<std::string>& lines, const Expected& e) {
  for (std::size_t i = 0; i < kHeaderLines; ++i) {
    const std::string where = e.file + " line " + std::to_string(i + 1);
    const std::string expected = std::string(kHeaderKeys[i]) + "=" + e.header[i];
    if (i >= lines.size()) fail(where, "missing, expected \"" + expected + "\"");
    if (lines[i] != expected) fail(where, "header \"" + lines[i] + "\", the manifest expects \"" + expected + "\"");
  }
}

// Names the first reason a data line fails to decode.
std::string decodeFault(const std::string& line) {
  if (line.size() != kDataLineLength)
    return std::to_string(line.size()) + " characters, a 64-byte data record has " + std::to_string(kDataLineLength);
  if (line[0] != ':') return "does not start with ':'";
  for (std::size_t i = 1; i < line.size(); ++i) {
    std::uint8_t value = 0;
    if (!zorvik::images::hexDigitValue(line[i], value))
      return "character " + std::to_string(i + 1) + " ('" + line[i] + "') is not an upper-case hex digit";
  }
  if (line.compare(1, 2, "40") != 0) return "byte count " + line.substr(1, 2) + ", a data record has 40 (64 bytes)";
  return "checksum wrong";
}

std::uint32_t checkDataLine(const std::string& line, const std::string& where) {
  zorvik::images::RecordBytes record{};
  if (line.size() != kDataLineLength || !zorvik::images::decodeRecord(line, record)) fail(where, decodeFault(line));
  if (record[zorvik::images::kRecType] != 0) fail(where, "record type " + std::to_string(record[zorvik::images::kRecType]) + ", expected 0");
  if (record[zorvik::images::kRecCount] != zorvik::images::kMaxRecordData) fail(where, "not a 64-byte record");
  return static_cast<std::uint32_t>(record[zorvik::images::kRecAddrHigh] << 8 | record[zorvik::images::kRecAddrLow]);
}

void checkRecords(const std::vector<std::string>& records, const Expected& e) {
  auto where = [&](std::size_t index) { return e.file + " line " + std::to_string(index + kHeaderLines + 1); };
  std::optional<std::size_t> vectorIndex;
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i + 1 < records.size(); ++i) {
    const std::uint32_t address = checkDataLine(records[i], where(i));
    if (i == 0 && address != e.firstAddress)
      fail(where(i), "first address " + hex4(address) + ", the manifest expects " + hex4(e.firstAddress));
    if (i > 0 && address <= previous) fail(where(i), "address " + hex4(address) + " does not ascend after " + hex4(previous));
    if (address == kVectorAddress) vectorIndex = i;
    previous = address;
  }
  if (vectorIndex != e.vectorIndex) {
    const auto show = [](std::optional<std::size_t> v) { return v ? "line index " + std::to_string(*v) : std::string("none"); };
    fail(e.file, "vector-table line (address 03DF) at " + show(vectorIndex) + ", the manifest expects " + show(e.vectorIndex));
  }
  if (records.back() != kEndLine)
    fail(where(records.size() - 1), "last line \"" + records.back() + "\", expected \"" + std::string(kEndLine) + "\"");
}

Image loadImage(const std::string& dir, const Expected& e) {
  std::vector<std::string> lines = readLines(dir + "/" + e.file, e.file);
  checkHeader(lines, e);
  Image image{e, std::vector<std::string>(lines.begin() + kHeaderLines, lines.end())};
  if (image.lines.size() != e.lines)
    fail(e.file, std::to_string(image.lines.size()) + " record lines, the manifest expects " + std::to_string(e.lines));
  checkRecords(image.lines, e);
  return image;
}

// The date is the one free text; it is written as a literal, so quote what
// needs it and refuse control characters outright.
std::string literal(const std::string& text, const std::string& where) {
  std::string out = "\"";
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) fail(where, "date holds a non-printable character");
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void writeTables(std::ostream& out, const std::vector<Image>& images) {
  out << "// Generated by embed_images from images/firmware/image01.txt ... image12.txt\n"
         "// after checking them against images/firmware/manifest.txt. Do not edit.\n"
         "#include \"images/firmware/builtin_images.h\"\n\nnamespace zorvik::images::firmware {\nnamespace {\n";
  for (std::size_t n = 0; n < images.size(); ++n) {
    out << "\n// " << images[n].expected.file << "\nconstexpr std::string_view kLines" << n + 1 << "[] = {\n";
    for (const std::string& line : images[n].lines) out << "    \"" << line << "\",\n";
    out << "};\n";
  }
  out << "\n}  // namespace\n\nconstexpr std::array<BuiltInImage, kBuiltInImageCount> kBuiltInImages = {{\n";
  for (std::size_t n = 0; n < images.size(); ++n) {
    const Expected& e = images[n].expected;
    // ImageHeader order: class, version high, version low, platform, print, date,
    // bootloader, bootloader version.
    out << "    {{" << e.number[2] << ", " << e.number[3] << ", " << e.number[4] << ", " << e.number[5] << ", " << e.number[6]
        << ", " << literal(e.header[7], e.file) << ", " << e.number[0] << ", " << e.number[1] << "}, kLines" << n + 1 << "},\n";
  }
  out << "}};\n\n}  // namespace zorvik::images::firmware\n";
}

void writeOutput(const std::string& path, const std::vector<Image>& images) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    writeTables(out, images);
    if (!out.flush()) fail(temporary, "cannot write");
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) fail(path, "cannot replace");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: embed_images <manifest.txt> <firmware directory> <output.cpp>\n";
    return 2;
  }
  // A stale table must not survive a failed check.
  std::remove(argv[3]);
  std::vector<Image> images;
  bool ok = true;
  try {
    for (const Expected& e : readManifest(argv[1])) {
      try {
        images.push_back(loadImage(argv[2], e));
      } catch (const BuildError& error) {
        std::cerr << "embed_images: error: " << error.message << "\n";
        ok = false;
      }
    }
    if (!ok) return 1;
    writeOutput(argv[3], images);
  } catch (const BuildError& error) {
    std::cerr << "embed_images: error: " << error.message << "\n";
    return 1;
  }
  return 0;
}
