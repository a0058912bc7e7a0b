#include "catalogue.h"

#include <cstddef>

#include "builtin_images.h"

namespace zorvik {

// Constant-initialised, so other modules may use them during their own static
// initialisation. The header is not marked constinit: clang 14 with the GNU
// library cannot evaluate std::string's constructor at compile time, and no
// static initialiser reads the header.
TBl3FileHeader ExternalImageHeader;
constinit std::vector<std::string> ExternalImageLines;
constinit std::atomic<int> SelectedImage{-1};

namespace {

constexpr int kExternalImage = 0;

TBl3FileHeader toHeader(const firmware::BuiltInHeader& h) {
  return {h.qorn_class, h.qorn_verH, h.qorn_verL, h.qorn_platform, h.qorn_print, std::string(h.qorn_date),
          h.qorn_bl, h.qorn_bl_ver};
}

// Line `index` of a list, or empty when the index lies outside it.
template <typename Lines>
std::string lineAt(const Lines& lines, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) return {};
  return std::string(lines[static_cast<std::size_t>(index)]);
}

template <typename Lines>
int lastIndexOf(const Lines& lines) {
  return static_cast<int>(lines.size()) - 1;
}

void queryExternal(int kind, int index, TBl3FileHeader& header, int& lastIndex, std::string& text) {
  if (kind == kQueryHeader) header = ExternalImageHeader;
  if (kind == kQueryLastIndex) lastIndex = lastIndexOf(ExternalImageLines);
  if (kind == kQueryLine) text = lineAt(ExternalImageLines, index);
}

void queryBuiltIn(int image, int kind, int index, TBl3FileHeader& header, int& lastIndex, std::string& text) {
  const firmware::BuiltInImage& builtIn = firmware::kBuiltInImages[static_cast<std::size_t>(image - 1)];
  if (kind == kQueryHeader) header = toHeader(builtIn.header);
  if (kind == kQueryLastIndex) lastIndex = lastIndexOf(builtIn.lines);
  if (kind == kQueryLine) text = lineAt(builtIn.lines, index);
}

}  // namespace

bool QueryFirmware(int image, int kind, int index, TBl3FileHeader& header, int& lastIndex, std::string& text) {
  header.qorn_class = 0xFFFF;
  header.qorn_platform = 0xFFFF;
  header.qorn_print = 0xFFFF;
  lastIndex = 0;
  text.clear();
  if (image < kExternalImage || image > firmware::kBuiltInImageCount) return false;
  if (kind != kQueryHeader && kind != kQueryLastIndex && kind != kQueryLine) return false;
  if (image == kExternalImage) {
    queryExternal(kind, index, header, lastIndex, text);
  } else {
    queryBuiltIn(image, kind, index, header, lastIndex, text);
  }
  return true;
}

TBl3FileHeader GetFirmwareHeader(int image) {
  TBl3FileHeader header;
  int lastIndex = 0;
  std::string text;
  QueryFirmware(image, kQueryHeader, 0, header, lastIndex, text);
  return header;
}

int FirmwareImageCount() { return firmware::kBuiltInImageCount; }

int GetImageLastLine(int image) {
  TBl3FileHeader header;
  int lastIndex = 0;
  std::string text;
  QueryFirmware(image, kQueryLastIndex, 0, header, lastIndex, text);
  return lastIndex;
}

std::string GetImageLine(int image, int i) {
  TBl3FileHeader header;
  int lastIndex = 0;
  std::string text;
  QueryFirmware(image, kQueryLine, i, header, lastIndex, text);
  return text;
}

int GetFirmwareLastLine() { return GetImageLastLine(SelectedImage.load()); }

std::string GetFirmwareLine(int i) { return GetImageLine(SelectedImage.load(), i); }

}  // namespace zorvik
