// The firmware catalogue: the twelve compiled-in images against the release
// table typed in here (independent of the build's manifest), what an image
// source gives outside its images, a loaded file as image 0, and an outside
// check of every record line with srec_cat.
#include "images/catalogue.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "images/image_file.h"
#include "images/record_codec.h"

namespace zorvik::images {
namespace {

std::vector<std::string> sourceLines(const ImageSource& source, int image) {
  std::vector<std::string> lines;
  for (int i = 0; i <= source.lastLine(image); ++i) lines.emplace_back(source.line(image, i));
  return lines;
}

std::vector<std::string> imageLines(int image) { return sourceLines(ImageSource(), image); }

bool isMarked(const ImageHeader& h) {
  return h.deviceClass == 0xFFFF && h.platform == 0xFFFF && h.print == 0xFFFF;
}

TEST(Catalogue, Image12AsTheReleaseTableDescribesIt) {
  const ImageHeader h = builtInHeader(12);
  EXPECT_EQ(h.deviceClass, 26113);
  EXPECT_EQ(h.versionHigh, 6);
  EXPECT_EQ(h.versionLow, 26);
  EXPECT_EQ(h.platform, 24);
  EXPECT_EQ(h.print, 53);
  EXPECT_EQ(h.date, "24.04.2025 16:11:52");
  EXPECT_EQ(h.bootloader, 3);
  EXPECT_EQ(h.bootloaderVersion, 0);

  const ImageSource images;
  EXPECT_EQ(images.header(12), h);
  EXPECT_EQ(images.lastLine(12), 827);
  EXPECT_EQ(images.line(12, 827), ":00000001FF");
  const std::string_view vectors = images.line(12, 47);
  ASSERT_EQ(vectors.size(), 139u);
  EXPECT_EQ(vectors.substr(3, 4), "03DF");
}

TEST(Catalogue, BuiltInSourceSpansImagesOneToTwelveAndAFileOnlyImageZero) {
  const ImageSource builtIn;
  EXPECT_FALSE(builtIn.isFile());
  EXPECT_EQ(builtIn.firstIndex(), 1);
  EXPECT_EQ(builtIn.lastIndex(), kBuiltInImageCount);
  EXPECT_EQ(kBuiltInImageCount, 12);

  const ImageSource file(std::make_shared<const ImageFile>());
  EXPECT_TRUE(file.isFile());
  EXPECT_EQ(file.firstIndex(), kFileImageIndex);
  EXPECT_EQ(file.lastIndex(), kFileImageIndex);

  const ImageSource noFile(std::shared_ptr<const ImageFile>{});
  EXPECT_FALSE(noFile.isFile()) << "a null file means the built-in images";
  EXPECT_EQ(noFile.header(12), builtInHeader(12));
}

// Outside a source every query gives its marked value: a header that matches
// no logger, line index 0 and empty lines. A file source hides the built-in
// images, and the built-in source has no image 0.
TEST(Catalogue, ImagesOutsideTheSourceGiveMarkedResults) {
  auto loaded = std::make_shared<ImageFile>();
  loaded->header = builtInHeader(3);
  loaded->lines = {std::string(ImageSource().line(3, 0)), ":00000001FF"};
  const struct {
    const char* name;
    ImageSource source;
    int image;
  } cases[] = {
      {"built-in 13", ImageSource(), 13},
      {"built-in -1", ImageSource(), -1},
      {"built-in 0", ImageSource(), 0},
      {"built-in INT_MIN", ImageSource(), INT_MIN},
      {"built-in INT_MAX", ImageSource(), INT_MAX},
      {"file 1", ImageSource(loaded), 1},
      {"file 3", ImageSource(loaded), 3},
      {"file 12", ImageSource(loaded), 12},
      {"file -1", ImageSource(loaded), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.source.contains(c.image));
    EXPECT_TRUE(isMarked(c.source.header(c.image)));
    EXPECT_EQ(c.source.lastLine(c.image), 0);
    EXPECT_EQ(c.source.line(c.image, 0), "");
  }
  for (int image : {13, -1, 0, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(image);
    EXPECT_TRUE(isMarked(builtInHeader(image)));
  }
}

TEST(Catalogue, ImageSixHasItsVectorTableAtLine47AndEndsAt697) {
  const ImageSource images;
  EXPECT_EQ(images.line(6, 47).substr(0, 7), ":4003DF");
  EXPECT_EQ(images.lastLine(6), 697);
}

TEST(Catalogue, LineOutsideTheImageIsEmpty) {
  const ImageSource images;
  for (int i : {-1, 828, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(images.line(12, i), "");
  }
  // An image file without lines: nothing to send, no line 0.
  const ImageSource empty(std::make_shared<const ImageFile>());
  EXPECT_EQ(empty.lastLine(0), 0);
  EXPECT_EQ(empty.line(0, 0), "");
}

TEST(Catalogue, LoadedFileWithThreeRecordLinesIsImageZero) {
  const std::vector<std::string> image1 = imageLines(1);
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("catalogue_test_" + std::to_string(getpid()) + ".txt");
  std::ofstream(path) << "bootloader=3\nbootloader version=1\nclass=26113\nversionH=7\nversionL=3\n"
                         "platform=24\nprint=53\ndate=01.01.2030 00:00:00\n"
                      << image1[0] << "\n" << image1[1] << "\n:00000001FF\n";
  auto file = std::make_shared<ImageFile>();
  ASSERT_EQ(loadImageFile(path.string(), *file), ImageLoadResult::Loaded);
  std::filesystem::remove(path);
  const ImageSource source(file);
  EXPECT_EQ(source.lastLine(0), 2);
  EXPECT_EQ(sourceLines(source, 0), (std::vector<std::string>{image1[0], image1[1], ":00000001FF"}));
  EXPECT_EQ(source.header(0), (ImageHeader{26113, 7, 3, 24, 53, "01.01.2030 00:00:00", 3, 1}));
}

// A run keeps its copy of the source; the lines it reads stay valid after
// whoever loaded the file has let go of it.
TEST(Catalogue, LinesOfAFileOutliveEveryOtherOwner) {
  auto file = std::make_shared<ImageFile>();
  file->lines = {std::string(imageLines(5)[0]), ":00000001FF"};
  auto first = std::make_unique<ImageSource>(std::move(file));
  const ImageSource kept = *first;
  first.reset();
  EXPECT_EQ(kept.line(0, 0), imageLines(5)[0]);
  EXPECT_EQ(kept.line(0, 1), ":00000001FF");
}

// Where the records of one image lie: runs of consecutive addresses (step
// 0x40 for byte addresses, 1 for block numbers), last address inclusive.
struct Run {
  unsigned first, last;
};

struct ReleaseRow {
  int image;
  std::uint16_t bl, blVer, cls, verH, verL, platform, print;
  const char* date;
  int lines;
  std::vector<Run> runs;
  int vectorIndex;  // -1: no line at 03DF
};

// The release table of the shipped images.
const std::vector<ReleaseRow>& releaseTable() {
  static const std::vector<ReleaseRow> rows = {
      {1, 2, 0, 26113, 3, 20, 0, 0, "18.06.2009 16:27:52", 524, {{0x2500, 0xA700}, {0xF780, 0xF7C0}}, -1},
      {2, 2, 0, 26113, 4, 8, 1, 1, "26.06.2009 14:37:42", 561, {{0x2800, 0xB340}, {0xF780, 0xF7C0}}, -1},
      {3, 2, 0, 26113, 5, 8, 1, 2, "27.01.2010 10:04:04", 563, {{0x2800, 0xB3C0}, {0xF780, 0xF7C0}}, -1},
      {4, 2, 0, 26113, 5, 18, 4, 6, "03.02.2011 19:30:56", 599, {{0x4400, 0xD8C0}, {0xF780, 0xF7C0}}, -1},
      {5, 2, 1, 26113, 5, 42, 4, 10, "16.11.2012 13:15:56", 721, {{0x4400, 0xF7C0}}, -1},
      {6, 3, 0, 26113, 5, 126, 12, 18, "12.04.2019 08:56:26", 698, {{0x128, 0x155}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x688}}, 47},
      {7, 3, 0, 26113, 5, 134, 12, 30, "12.08.2020 08:01:44", 745, {{0x128, 0x155}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6B7}}, 47},
      {8, 3, 0, 26113, 5, 136, 12, 30, "06.07.2020 13:03:08", 783, {{0x128, 0x155}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6DD}}, 47},
      {9, 3, 0, 26113, 5, 180, 12, 44, "07.02.2023 10:47:42", 785, {{0x128, 0x155}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6DF}}, 47},
      {10, 3, 0, 26113, 5, 180, 23, 49, "07.02.2023 10:48:10", 781, {{0x240, 0x26B}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6DD}}, 45},
      {11, 3, 0, 26113, 6, 20, 24, 49, "21.09.2023 16:20:06", 816, {{0x2C0, 0x2ED}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6FE}}, 47},
      {12, 3, 0, 26113, 6, 26, 24, 53, "24.04.2025 16:11:52", 828, {{0x2C0, 0x2ED}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x70A}}, 47},
  };
  return rows;
}

std::vector<unsigned> expectedAddresses(const ReleaseRow& row) {
  const unsigned step = row.bl == 2 ? 0x40 : 1;
  std::vector<unsigned> addresses;
  for (const Run& run : row.runs)
    for (unsigned a = run.first; a <= run.last; a += step) addresses.push_back(a);
  return addresses;
}

TEST(Catalogue, EveryBuiltInImageMatchesTheReleaseTable) {
  ASSERT_EQ(releaseTable().size(), 12u);
  int totalLines = 0;
  for (const ReleaseRow& row : releaseTable()) {
    SCOPED_TRACE("image " + std::to_string(row.image));
    EXPECT_EQ(builtInHeader(row.image),
              (ImageHeader{row.cls, row.verH, row.verL, row.platform, row.print, row.date, row.bl, row.blVer}));
    const std::vector<std::string> lines = imageLines(row.image);
    ASSERT_EQ(static_cast<int>(lines.size()), row.lines);
    totalLines += row.lines;
    EXPECT_EQ(lines.back(), ":00000001FF");

    const std::vector<unsigned> expected = expectedAddresses(row);
    ASSERT_EQ(expected.size(), lines.size() - 1) << "the typed runs disagree with the typed line count";
    int vectorIndex = -1;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      SCOPED_TRACE("line " + std::to_string(i));
      RecordBytes record{};
      ASSERT_TRUE(decodeRecord(lines[i], record)) << lines[i];
      ASSERT_EQ(lines[i].size(), 139u);
      EXPECT_EQ(record[kRecCount], 64);
      EXPECT_EQ(record[kRecType], 0);
      const unsigned address = record[kRecAddrHigh] * 256u + record[kRecAddrLow];
      ASSERT_EQ(address, expected[i]);
      if (address == 0x03DF) vectorIndex = static_cast<int>(i);
    }
    EXPECT_EQ(vectorIndex, row.vectorIndex);
  }
  EXPECT_EQ(totalLines, 8404);
}

TEST(Catalogue, NoTwoImagesShareTheirData) {
  const std::vector<std::string> six = imageLines(6);
  for (int image : {7, 8, 9}) {
    const std::vector<std::string> other = imageLines(image);
    for (std::size_t i = 0; i < 40; ++i) EXPECT_NE(six[i], other[i]) << "image " << image << " line " << i;
  }
}

// srec_cat reads Intel HEX with its own parser; exit status 0 means every
// record and checksum was accepted. Third-generation images address 64-byte
// blocks, so read as byte addresses their records overlap: -multiple lets
// srec_cat accept that while it still checks every record.
class SrecCat : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
    file_ = std::filesystem::temp_directory_path() / ("catalogue_srec_" + std::to_string(getpid()) + ".hex");
  }
  void TearDown() override {
    std::filesystem::remove(file_);
  }
  int check(const std::vector<std::string>& lines) {
    std::ofstream out(file_);
    for (const std::string& line : lines) out << line << "\n";
    out.close();
    const std::string command = "srec_cat -multiple '" + file_.string() + "' -Intel -o /dev/null -Intel 2>/dev/null";
    return std::system(command.c_str());
  }
  std::filesystem::path file_;
};

TEST_F(SrecCat, AcceptsEveryBuiltInImage) {
  for (int image = 1; image <= kBuiltInImageCount; ++image) {
    EXPECT_EQ(check(imageLines(image)), 0) << "image " << image;
  }
}

TEST_F(SrecCat, RejectsAWrongChecksum) {
  for (int image : {3, 9}) {
    std::vector<std::string> lines = imageLines(image);
    std::string& line = lines[100];
    line.back() = line.back() == '0' ? '1' : '0';
    EXPECT_NE(check(lines), 0) << "image " << image;
  }
}

}  // namespace
}  // namespace zorvik::images
