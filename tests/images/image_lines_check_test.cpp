// checkImageLines: the test a run's image passes before anything is sent.
// Expected indexes are counted by hand from the lists below.
#include <gtest/gtest.h>

#include "images/catalogue.h"
#include "images/image_file.h"

namespace zorvik::images {
namespace {

std::vector<std::string> builtIn(int image) {
  const ImageSource images;
  std::vector<std::string> lines;
  for (int i = 0; i <= images.lastLine(image); ++i) lines.emplace_back(images.line(image, i));
  return lines;
}

TEST(CheckImageLines, EveryBuiltInImagePasses) {
  for (int image = 1; image <= kBuiltInImageCount; ++image) {
    SCOPED_TRACE(image);
    const auto check = checkImageLines(builtIn(image));
    EXPECT_EQ(check.result, ImageLinesCheck::Ok);
    EXPECT_EQ(check.line, -1);
  }
}

TEST(CheckImageLines, FindsTheFirstLineProgrammingWouldRefuse) {
  const std::string data = builtIn(12)[0];
  const std::string end = ":00000001FF";
  std::string nul = data;
  nul[9] = '\0';
  std::string lower = data;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const struct {
    const char* name;
    std::vector<std::string> lines;
    ImageLinesCheck::Result result;
    int line;
  } cases[] = {
      {"empty", {}, ImageLinesCheck::NoEndLine, -1},
      {"end line alone", {end}, ImageLinesCheck::NoEndLine, 0},
      {"no end line", {data, data}, ImageLinesCheck::NoEndLine, 1},
      {"end line in lower case", {data, ":00000001ff"}, ImageLinesCheck::NoEndLine, 1},
      {"end line with a blank", {data, end + " "}, ImageLinesCheck::NoEndLine, 1},
      {"a line of 10,000 characters", {data, std::string(10'000, 'A'), end}, ImageLinesCheck::BadRecord, 1},
      {"a NUL byte", {data, data, nul, end}, ImageLinesCheck::BadRecord, 2},
      {"a blank line", {data, "", end}, ImageLinesCheck::BadRecord, 1},
      {"lower-case digits", {lower, end}, ImageLinesCheck::BadRecord, 0},
      {"extended address record", {":020000040800F2", data, end}, ImageLinesCheck::Ok, -1},
      // Programming sends full 64-byte data records only: without one the
      // logger would be erased and left with nothing.
      {"only an extended address record", {":020000040800F2", end}, ImageLinesCheck::NoDataLines, -1},
      {"only 16-byte records", {":10000000000102030405060708090A0B0C0D0E0F78", ":10001000101112131415161718191A1B1C1D1E1F68", end},
       ImageLinesCheck::NoDataLines, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto check = checkImageLines(c.lines);
    EXPECT_EQ(check.result, c.result);
    EXPECT_EQ(check.line, c.line);
  }
}

}  // namespace
}  // namespace zorvik::images
