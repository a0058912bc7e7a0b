// The image file format: header line parsing, the header reader's field by
// field behaviour, loading files of every awkward shape, and the checked load
// that decides whether a file may be sent at all.
#include "images/image_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zorvik::images {
namespace {

namespace fs = std::filesystem;

const std::string kHeader12 =
    "bootloader=3\nbootloader version=0\nclass=26113\nversionH=6\nversionL=26\n"
    "platform=24\nprint=53\ndate=24.04.2025 16:11:52\n";
const ImageHeader kImage12Header{26113, 6, 26, 24, 53, "24.04.2025 16:11:52", 3, 0};

ImageHeader with(ImageHeader h, void (*change)(ImageHeader&)) {
  change(h);
  return h;
}

TEST(HeaderValue, SplitsAtTheFirstEqualsSignWithoutTrimming) {
  const struct {
    const char* line;
    const char* key;
    const char* value;
  } cases[] = {
      {"bootloader=3", "bootloader", "3"},
      {"bootloader =3", "bootloader", ""},  // the key carries the blank
      {"bootloader= 3", "bootloader", " 3"},
      {"date=a=b", "date", "a=b"},
      {"Class=1", "class", ""},  // keys are case-sensitive
      {"class=", "class", ""},
      {"class", "class", ""},
      {"=x", "", "x"},
      {"bootloader version=1", "bootloader", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(headerValue(c.line, c.key), c.value);
  }
}

TEST(ReadImageHeader, ReadsFromTheCurrentPositionAndPastTheEnd) {
  std::istringstream in("junk line\r\n" + kHeader12 + ":00000001FF\n");
  std::string skipped;
  std::getline(in, skipped);
  ImageHeader header;
  ASSERT_TRUE(readImageHeader(in, header));
  EXPECT_EQ(header, kImage12Header);
  std::string next;
  std::getline(in, next);
  EXPECT_EQ(next, ":00000001FF");  // exactly eight lines consumed

  std::istringstream shortText("bootloader=2\r\nbootloader version=4\r\nclass=26113\r\n");
  ImageHeader partial;
  EXPECT_FALSE(readImageHeader(shortText, partial));  // line 4 is past the end: empty
  EXPECT_EQ(partial, (ImageHeader{26113, 0, 0, 0, 0, "", 2, 4}));
}

// Every case is loaded from a real file by loadImageFile.
struct FileCase {
  const char* name;
  std::string content;
  ImageLoadResult result;
  ImageHeader header;              // the loaded image's header afterwards
  std::vector<std::string> lines;  // its lines afterwards
};

class ImageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("image_file_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string write(const std::string& name, const std::string& content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  static std::vector<std::string> builtInLines(int image) {
    const ImageSource images;
    std::vector<std::string> lines;
    for (int i = 0; i <= images.lastLine(image); ++i) lines.emplace_back(images.line(image, i));
    return lines;
  }
  fs::path dir_;
};

TEST_F(ImageFiles, LoadsEachShapeOfFile) {
  const ImageHeader zeros{};
  const std::string fromVersionH = kHeader12.substr(kHeader12.find("versionH="));
  const FileCase cases[] = {
      {"blanks around the equals sign", "bootloader = 3\n" + kHeader12.substr(13) + ":00000001FF\n", ImageLoadResult::Loaded,
       with(kImage12Header, [](ImageHeader& h) { h.bootloader = 0xFFFF; }), {":00000001FF"}},
      {"first two lines swapped",
       "bootloader version=0\nbootloader=3\nclass=26113\nversionH=6\nversionL=26\nplatform=24\nprint=53\ndate=x\n",
       ImageLoadResult::BadHeader, with(zeros, [](ImageHeader& h) { h.bootloader = 0xFFFF; }), {}},
      {"date with a further equals sign", kHeader12.substr(0, kHeader12.find("date=")) + "date=a=b\n", ImageLoadResult::Loaded,
       with(kImage12Header, [](ImageHeader& h) { h.date = "a=b"; }), {}},
      {"class above 16 bits keeps the low bits", "bootloader=2\nbootloader version=0\nclass=70000\n" + fromVersionH,
       ImageLoadResult::Loaded, with(kImage12Header, [](ImageHeader& h) {
         h.bootloader = 2;
         h.deviceClass = 4464;
       }), {}},
      {"signed numbers", "bootloader=3\nbootloader version=+1\nclass=-1\n" + fromVersionH, ImageLoadResult::Loaded,
       with(kImage12Header, [](ImageHeader& h) {
         h.bootloaderVersion = 1;
         h.deviceClass = 0xFFFF;
       }), {}},
      {"header only", kHeader12, ImageLoadResult::Loaded, kImage12Header, {}},
      {"trailing letters are a conversion error", "bootloader=3\nbootloader version=0\nclass=26113\nversionH=12abc\n",
       ImageLoadResult::BadHeader, {26113, 0, 0, 0, 0, "", 3, 0}, {}},
      {"number beyond 32 bits is a conversion error", "bootloader=3\nbootloader version=99999999999999999999999\n",
       ImageLoadResult::BadHeader, with(zeros, [](ImageHeader& h) { h.bootloader = 3; }), {}},
      {"32-bit extremes keep their low bits", "bootloader=3\nbootloader version=2147483647\nclass=-2147483648\n" + fromVersionH,
       ImageLoadResult::Loaded, with(kImage12Header, [](ImageHeader& h) {
         h.bootloaderVersion = 0xFFFF;
         h.deviceClass = 0;
       }), {}},
      {"one past the 32-bit range is a conversion error", "bootloader=3\nbootloader version=2147483648\n",
       ImageLoadResult::BadHeader, with(zeros, [](ImageHeader& h) { h.bootloader = 3; }), {}},
      {"one below the 32-bit range is a conversion error", "bootloader=3\nbootloader version=-2147483649\n",
       ImageLoadResult::BadHeader, with(zeros, [](ImageHeader& h) { h.bootloader = 3; }), {}},
      {"sign without digits", "bootloader=3\nbootloader version=-\n", ImageLoadResult::BadHeader,
       with(zeros, [](ImageHeader& h) { h.bootloader = 3; }), {}},
      {"key in other case", "bootloader=3\nBootloader version=0\n", ImageLoadResult::BadHeader,
       with(zeros, [](ImageHeader& h) { h.bootloader = 3; }), {}},
      {"too few lines", "bootloader=2\nbootloader version=1\nclass=26113\nversionH=5\nversionL=8\nplatform=1\n",
       ImageLoadResult::BadHeader, {26113, 5, 8, 1, 0, "", 2, 1}, {}},
      {"empty file", "", ImageLoadResult::BadHeader, with(zeros, [](ImageHeader& h) { h.bootloader = 0xFFFF; }), {}},
      {"date line without equals sign stays as a record line",
       kHeader12.substr(0, kHeader12.find("date=")) + "date 24.04.2025\n:00000001FF\n", ImageLoadResult::Loaded,
       with(kImage12Header, [](ImageHeader& h) { h.date = ""; }), {"date 24.04.2025", ":00000001FF"}},
      {"blank lines kept, lines with = dropped anywhere", kHeader12 + "\n:00000001FF\nnote=1\n\n", ImageLoadResult::Loaded,
       kImage12Header, {"", ":00000001FF", ""}},
      {"bootloader generation 1 is not known", "bootloader=1\n" + kHeader12.substr(13), ImageLoadResult::Loaded,
       with(kImage12Header, [](ImageHeader& h) { h.bootloader = 0xFFFF; }), {}},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    ImageFile image;
    image.lines = {"stale"};
    EXPECT_EQ(loadImageFile(write("case.txt", c.content), image), c.result);
    EXPECT_EQ(image.header, c.header);
    EXPECT_EQ(image.lines, c.lines);
  }
}

TEST_F(ImageFiles, BuiltInLinesBehindAHeaderInEveryEncoding) {
  const std::vector<std::string> image12 = builtInLines(12);
  ASSERT_EQ(image12.size(), 828u);
  const struct {
    const char* name;
    const char* bom;
    const char* lineEnd;
  } encodings[] = {{"LF", "", "\n"}, {"CR LF", "", "\r\n"}, {"BOM LF", "\xEF\xBB\xBF", "\n"}, {"BOM CR LF", "\xEF\xBB\xBF", "\r\n"}};
  for (const auto& e : encodings) {
    SCOPED_TRACE(e.name);
    std::string text = e.bom;
    std::istringstream header(kHeader12);
    for (std::string line; std::getline(header, line);) text += line + e.lineEnd;
    for (const std::string& line : image12) text += line + e.lineEnd;
    auto image = std::make_shared<ImageFile>();
    ASSERT_EQ(loadImageFile(write("image.txt", text), *image), ImageLoadResult::Loaded);
    EXPECT_EQ(image->header, kImage12Header);
    EXPECT_EQ(image->lines, image12);
    EXPECT_EQ(ImageSource(image).lastLine(kFileImageIndex), 827);

    ImageHeader shown;
    EXPECT_EQ(readImageFileHeader(write("image.txt", text), shown), ImageLoadResult::Loaded);
    EXPECT_EQ(shown, kImage12Header);
  }
}

TEST_F(ImageFiles, AFailedLoadLeavesTheImageWithoutLines) {
  const std::string oversized = write("big.txt", kHeader12);
  fs::resize_file(oversized, kMaxImageFileBytes + 1);  // sparse: nothing is written
  const std::string atLimit = write("limit.txt", kHeader12);
  fs::resize_file(atLimit, kMaxImageFileBytes);
  const struct {
    const char* name;
    std::string path;
    ImageLoadResult result;
  } cases[] = {
      {"one byte over the limit", oversized, ImageLoadResult::TooLarge},
      {"missing file", (dir_ / "missing.txt").string(), ImageLoadResult::Unreadable},
      {"directory", dir_.string(), ImageLoadResult::Unreadable},
      // Read in full; the zero bytes behind the header make one long record line.
      {"exactly at the limit", atLimit, ImageLoadResult::Loaded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImageFile image;
    image.lines = {"stale"};
    EXPECT_EQ(loadImageFile(c.path, image), c.result);
    const bool loaded = c.result == ImageLoadResult::Loaded;
    EXPECT_EQ(image.lines.size(), loaded ? 1u : 0u);
    EXPECT_EQ(image.header.deviceClass, loaded ? 26113 : 0);

    ImageHeader shown;
    EXPECT_EQ(readImageFileHeader(c.path, shown), c.result);
  }
}

TEST_F(ImageFiles, ReadingAHeaderNeedsNoSoundRecordLines) {
  const std::string path = write("image.txt", kHeader12 + "not a record\n");
  ImageHeader shown;
  EXPECT_EQ(readImageFileHeader(path, shown), ImageLoadResult::Loaded);
  EXPECT_EQ(shown, kImage12Header);

  EXPECT_EQ(readImageFileHeader(write("bad.txt", "bootloader=3\nbootloader version=x\n"), shown), ImageLoadResult::BadHeader);
}

// A file is handed to a run only when it was read, its header parsed and every
// line would be taken by programming; otherwise the result says why.
TEST_F(ImageFiles, CheckedLoadGivesAFileOnlyWhenEveryCheckPasses) {
  const std::vector<std::string> image12 = builtInLines(12);
  std::string sound = kHeader12;
  for (const std::string& line : image12) sound += line + "\n";
  std::string badRecord = kHeader12;
  for (std::size_t i = 0; i < image12.size(); ++i) badRecord += (i == 3 ? image12[i].substr(0, 50) : image12[i]) + "\n";
  const struct {
    const char* name;
    std::string path;
    ImageLoadResult load;
    ImageLinesCheck::Result lines;
    int line;
  } cases[] = {
      {"sound image", write("sound.txt", sound), ImageLoadResult::Loaded, ImageLinesCheck::Ok, -1},
      {"missing file", (dir_ / "missing.txt").string(), ImageLoadResult::Unreadable, ImageLinesCheck::Ok, -1},
      {"bad header", write("header.txt", "bootloader=3\nbootloader version=x\n" + image12.back() + "\n"),
       ImageLoadResult::BadHeader, ImageLinesCheck::Ok, -1},
      {"header only", write("empty.txt", kHeader12), ImageLoadResult::Loaded, ImageLinesCheck::NoEndLine, -1},
      {"cut record at line 3", write("cut.txt", badRecord), ImageLoadResult::Loaded, ImageLinesCheck::BadRecord, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CheckedImageFile checked = loadCheckedImageFile(c.path);
    EXPECT_EQ(checked.load, c.load);
    EXPECT_EQ(checked.lines.result, c.lines);
    EXPECT_EQ(checked.lines.line, c.line);
    const bool sendable = c.load == ImageLoadResult::Loaded && c.lines == ImageLinesCheck::Ok;
    ASSERT_EQ(checked.file != nullptr, sendable);
    if (sendable) {
      EXPECT_EQ(checked.file->header, kImage12Header);
      EXPECT_EQ(checked.file->lines, image12);
    }
  }
}

TEST(ParseImageText, MatchesTheFileLoader) {
  ImageHeader header;
  std::vector<std::string> lines{"stale"};
  EXPECT_EQ(parseImageText("\xEF\xBB\xBF" + kHeader12 + "\r\n:00000001FF", header, lines), ImageLoadResult::Loaded);
  EXPECT_EQ(header, kImage12Header);
  EXPECT_EQ(lines, (std::vector<std::string>{"", ":00000001FF"}));

  // A BOM anywhere but at the very start is text like any other.
  EXPECT_EQ(parseImageText("\n\xEF\xBB\xBF" + kHeader12, header, lines), ImageLoadResult::BadHeader);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace zorvik::images
