// The firmware catalogue: twelve built-in images (compiled-in constants,
// indexes 1-12) and one external image read from a file (index 0), plus the
// shared selection that tells programming which image to send.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvik {

struct TBl3FileHeader {
  std::uint16_t qorn_class = 0;
  std::uint16_t qorn_verH = 0;
  std::uint16_t qorn_verL = 0;
  std::uint16_t qorn_platform = 0;
  std::uint16_t qorn_print = 0;
  std::string qorn_date;
  std::uint16_t qorn_bl = 0;
  std::uint16_t qorn_bl_ver = 0;
  friend bool operator==(const TBl3FileHeader&, const TBl3FileHeader&) = default;
};

enum FirmwareQuery : int { kQueryHeader = 0, kQueryLastIndex = 1, kQueryLine = 2 };

// The one query behind the others. Image outside 0-12 or kind outside 0-2:
// false, with class, platform and print 0xFFFF, lastIndex 0, text empty.
// A line index outside the image gives an empty text.
bool QueryFirmware(int image, int kind, int index, TBl3FileHeader& header, int& lastIndex,
                   std::string& text);
TBl3FileHeader GetFirmwareHeader(int image);
int FirmwareImageCount();
// Of the image in SelectedImage: last line index (0 when none is selected)
// and line i (empty when none is selected or i is outside the image).
int GetFirmwareLastLine();
std::string GetFirmwareLine(int i);
// The same for a given image, whatever the selection says: a run keeps to the
// image it chose even if the selection changes under it.
int GetImageLastLine(int image);
std::string GetImageLine(int image, int i);

// Image 0. Written by the front-end thread between runs only; read by the
// update thread during a run.
extern TBl3FileHeader ExternalImageHeader;
extern std::vector<std::string> ExternalImageLines;

// -1 none, 0 the external image, 1-12 a built-in image. Written by the front
// end before a run and by the update thread during image selection; read by
// both. Atomic.
extern std::atomic<int> SelectedImage;

}  // namespace zorvik
