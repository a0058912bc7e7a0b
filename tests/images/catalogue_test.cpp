// The firmware catalogue: the twelve compiled-in images against the release
// table typed in here (independent of the build's manifest), the failure
// paths of the one query, the selection-based accessors, and an outside check
// of every record line with srec_cat.
#include "catalogue.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image_file.h"
#include "record_codec.h"

namespace zorvik {
namespace {

// Captured during static initialisation, before any test can have loaded a
// file: the catalogue's globals are constant-initialised, so this is their
// state at program start.
const TBl3FileHeader kExternalHeaderAtStart = GetFirmwareHeader(0);
const std::size_t kExternalLinesAtStart = ExternalImageLines.size();
const int kSelectedAtStart = SelectedImage.load();

// Restores the shared selection and image 0 after each test.
class Catalogue : public ::testing::Test {
 protected:
  void TearDown() override {
    SelectedImage = -1;
    ExternalImageLines.clear();
    ExternalImageHeader = TBl3FileHeader{};
  }
};

std::vector<std::string> selectedLines() {
  std::vector<std::string> lines;
  for (int i = 0; i <= GetFirmwareLastLine(); ++i) lines.push_back(GetFirmwareLine(i));
  return lines;
}

std::vector<std::string> imageLines(int image) {
  SelectedImage = image;
  return selectedLines();
}

TEST_F(Catalogue, StartState) {
  EXPECT_EQ(kExternalHeaderAtStart, TBl3FileHeader{});
  EXPECT_EQ(kExternalHeaderAtStart.qorn_date, "");
  EXPECT_EQ(kExternalLinesAtStart, 0u);
  EXPECT_EQ(kSelectedAtStart, -1);
}

TEST_F(Catalogue, Image12AsTheReleaseTableDescribesIt) {
  const TBl3FileHeader h = GetFirmwareHeader(12);
  EXPECT_EQ(h.qorn_class, 26113);
  EXPECT_EQ(h.qorn_verH, 6);
  EXPECT_EQ(h.qorn_verL, 26);
  EXPECT_EQ(h.qorn_platform, 24);
  EXPECT_EQ(h.qorn_print, 53);
  EXPECT_EQ(h.qorn_date, "24.04.2025 16:11:52");
  EXPECT_EQ(h.qorn_bl, 3);
  EXPECT_EQ(h.qorn_bl_ver, 0);

  SelectedImage = 12;
  EXPECT_EQ(GetFirmwareLastLine(), 827);
  EXPECT_EQ(GetFirmwareLine(827), ":00000001FF");
  const std::string vectors = GetFirmwareLine(47);
  ASSERT_EQ(vectors.size(), 139u);
  EXPECT_EQ(vectors.substr(3, 4), "03DF");
}

TEST_F(Catalogue, InvalidQueriesFailWithMarkedOutputs) {
  const struct {
    int image, kind;
  } cases[] = {{13, 0}, {-1, 0}, {1, 3}, {1, -1}, {0, 3}, {INT_MIN, 1}, {INT_MAX, 2}, {13, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE("image " + std::to_string(c.image) + " kind " + std::to_string(c.kind));
    TBl3FileHeader header{1, 2, 3, 4, 5, "x", 6, 7};
    int lastIndex = 99;
    std::string text = "stale";
    EXPECT_FALSE(QueryFirmware(c.image, c.kind, 0, header, lastIndex, text));
    EXPECT_EQ(header.qorn_class, 0xFFFF);
    EXPECT_EQ(header.qorn_platform, 0xFFFF);
    EXPECT_EQ(header.qorn_print, 0xFFFF);
    EXPECT_EQ(lastIndex, 0);
    EXPECT_EQ(text, "");
  }
}

TEST_F(Catalogue, ValidQueryFillsOnlyWhatItsKindAsksFor) {
  TBl3FileHeader header{};
  int lastIndex = 99;
  std::string text = "stale";
  ASSERT_TRUE(QueryFirmware(6, kQueryLine, 47, header, lastIndex, text));
  EXPECT_EQ(text.substr(0, 7), ":4003DF");
  EXPECT_EQ(lastIndex, 0);
  ASSERT_TRUE(QueryFirmware(6, kQueryLastIndex, 0, header, lastIndex, text));
  EXPECT_EQ(lastIndex, 697);
  EXPECT_EQ(text, "");
}

TEST_F(Catalogue, LineOutsideTheImageOrWithoutSelectionIsEmpty) {
  SelectedImage = 12;
  for (int i : {-1, 828, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(GetFirmwareLine(i), "");
  }
  SelectedImage = -1;
  EXPECT_EQ(GetFirmwareLastLine(), 0);
  EXPECT_EQ(GetFirmwareLine(0), "");
  SelectedImage = 0;  // no file loaded: an empty line list
  EXPECT_EQ(GetFirmwareLastLine(), -1);
  EXPECT_EQ(GetFirmwareLine(0), "");
}

TEST_F(Catalogue, ImageCountIgnoresTheSelection) {
  for (int selected : {-1, 0, 1, 12, 13}) {
    SelectedImage = selected;
    EXPECT_EQ(FirmwareImageCount(), 12) << "SelectedImage " << selected;
  }
}

TEST_F(Catalogue, ExternalFileWithThreeRecordLines) {
  const std::vector<std::string> image1 = imageLines(1);
  SelectedImage = -1;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("catalogue_test_" + std::to_string(getpid()) + ".txt");
  std::ofstream(file) << "bootloader=3\nbootloader version=1\nclass=26113\nversionH=7\nversionL=3\n"
                         "platform=24\nprint=53\ndate=01.01.2030 00:00:00\n"
                      << image1[0] << "\n" << image1[1] << "\n:00000001FF\n";
  ASSERT_EQ(LoadImageFile(file.string()), ImageLoadResult::Loaded);
  std::filesystem::remove(file);
  EXPECT_EQ(SelectedImage.load(), 0);
  EXPECT_EQ(GetFirmwareLastLine(), 2);
  EXPECT_EQ(selectedLines(), (std::vector<std::string>{image1[0], image1[1], ":00000001FF"}));
  EXPECT_EQ(GetFirmwareHeader(0), (TBl3FileHeader{26113, 7, 3, 24, 53, "01.01.2030 00:00:00", 3, 1}));
}

// Where the records of one image lie: runs of consecutive addresses (step
// 0x40 for byte addresses, 1 for block numbers), last address inclusive.
struct Run {
  unsigned first, last;
};

struct ImageRow {
  int image;
  std::uint16_t bl, blVer, cls, verH, verL, platform, print;
  const char* date;
  int lines;
  std::vector<Run> runs;
  int vectorIndex;  // -1: no line at 03DF
};

// The release table of the shipped images.
const std::vector<ImageRow>& releaseTable() {
  static const std::vector<ImageRow> rows = {
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

std::vector<unsigned> expectedAddresses(const ImageRow& row) {
  const unsigned step = row.bl == 2 ? 0x40 : 1;
  std::vector<unsigned> addresses;
  for (const Run& run : row.runs)
    for (unsigned a = run.first; a <= run.last; a += step) addresses.push_back(a);
  return addresses;
}

TEST_F(Catalogue, EveryBuiltInImageMatchesTheReleaseTable) {
  ASSERT_EQ(releaseTable().size(), 12u);
  int totalLines = 0;
  for (const ImageRow& row : releaseTable()) {
    SCOPED_TRACE("image " + std::to_string(row.image));
    EXPECT_EQ(GetFirmwareHeader(row.image),
              (TBl3FileHeader{row.cls, row.verH, row.verL, row.platform, row.print, row.date, row.bl, row.blVer}));
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

TEST_F(Catalogue, NoTwoImagesShareTheirData) {
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
class SrecCat : public Catalogue {
 protected:
  void SetUp() override {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
    file_ = std::filesystem::temp_directory_path() / ("catalogue_srec_" + std::to_string(getpid()) + ".hex");
  }
  void TearDown() override {
    std::filesystem::remove(file_);
    Catalogue::TearDown();
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
  for (int image = 1; image <= FirmwareImageCount(); ++image) {
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
}  // namespace zorvik
