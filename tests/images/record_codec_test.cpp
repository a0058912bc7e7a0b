// The Intel HEX record codec: worked records of the bootloader protocol, every
// rejection path of the decoder, the checksum over reply text, and a
// comparison with a plain printf-based encoder on pseudo-random records.
#include "images/record_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace zorvik::images {
namespace {

constexpr std::uint8_t kGarbage = 0xEE;

// Independent reference: count, address, type and data as "%02X" pairs, then
// the two's complement of their sum.
std::string referenceLine(const std::vector<std::uint8_t>& bytes) {
  std::string line = ":";
  unsigned sum = 0;
  char pair[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    line += pair;
    sum += b;
  }
  std::snprintf(pair, sizeof pair, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return line + pair;
}

// Every test starts from a record full of a recognisable pattern, so bytes
// the codec must not touch can be checked.
class RecordCodec : public ::testing::Test {
 protected:
  void SetUp() override {
    buffer_.fill(kGarbage);
    line_ = "untouched";
  }
  void load(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) buffer_[i] = bytes[i];
  }
  void expectBuffer(const std::vector<std::uint8_t>& bytes) const {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      EXPECT_EQ(buffer_[i], bytes[i]) << "buffer[" << i << "]";
    }
  }
  bool encode() { return encodeRecord(buffer_, line_); }
  bool decode() { return decodeRecord(line_, buffer_); }

  RecordBytes buffer_{};
  std::string line_;
};

// ------------------------------------------------------------ round trips ---

TEST_F(RecordCodec, WorkedRecordsBothWays) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;  // count, address high/low, type, data
    std::uint8_t checksum;
    const char* line;
  };
  const Case cases[] = {
      {"end of file", {0x00, 0x00, 0x00, 0x01}, 0xFF, ":00000001FF"},
      {"one data byte", {0x01, 0x00, 0x00, 0x05, 0x31}, 0xC9, ":0100000531C9"},
      {"info request", {0x01, 0x00, 0x00, 0x05, 0x20}, 0xDA, ":0100000520DA"},
      {"update-ID request at 0x1000", {0x01, 0x10, 0x00, 0x05, 0x30}, 0xBA, ":0110000530BA"},
      {"update-ID request at block 0x60", {0x01, 0x00, 0x60, 0x05, 0x30}, 0x6A, ":01006005306A"},
      {"upper-case data", {0x01, 0x00, 0x00, 0x00, 0xAB}, 0x54, ":01000000AB54"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    buffer_.fill(kGarbage);
    load(c.bytes);
    ASSERT_TRUE(encode());
    EXPECT_EQ(line_, c.line);
    EXPECT_EQ(buffer_[c.bytes.size()], kGarbage) << "encoding must not write the checksum byte";

    buffer_.fill(kGarbage);
    line_ = c.line;
    ASSERT_TRUE(decode());
    auto withChecksum = c.bytes;
    withChecksum.push_back(c.checksum);
    expectBuffer(withChecksum);
    EXPECT_EQ(hexChecksum(line_.c_str() + 1, static_cast<int>(withChecksum.size())), 0);
  }
}

TEST_F(RecordCodec, FullRecordOf139CharactersDecodes) {
  std::vector<std::uint8_t> bytes = {0x40, 0x12, 0x34, 0x00};
  for (int i = 0; i < 64; ++i) bytes.push_back(static_cast<std::uint8_t>(0xC0 + i));
  line_ = referenceLine(bytes);
  ASSERT_EQ(line_.size(), 139u);
  ASSERT_TRUE(decode());
  expectBuffer(bytes);
}

// ------------------------------------------------------------- rejections ---

TEST_F(RecordCodec, MalformedLinesAreRejected) {
  const char* lines[] = {
      "",              ":",              ":00000001F",    "00000001FF",     "X00000001FF",
      ":00000001ff",   ":00000001fF",    ":00000001Ff",   ":0a00000000",    ":00000001FG",
      ":0O000001FF",   ": 0000001FF",    ":00000001FF ",  ":00000001FF\r",  ":0000000 1FF",
      ":00000001FE",   ":0100000531c9",  ":01000005x1C9",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    line_ = line;
    EXPECT_FALSE(decode());
  }
}

TEST_F(RecordCodec, CountAbove64FailsAtTheCountCheckWhateverTheLength) {
  std::vector<std::uint8_t> bytes = {0x41, 0x00, 0x00, 0x00};
  bytes.resize(4 + 0x41, 0x5A);
  const std::string intact = referenceLine(bytes);  // consistent apart from the count
  ASSERT_EQ(intact.size(), 141u);
  const std::string lines[] = {":41000000BF", ":41" + std::string(136, '0'), intact};
  for (const auto& line : lines) {
    SCOPED_TRACE(line.size());
    buffer_.fill(kGarbage);
    line_ = line;
    EXPECT_FALSE(decode());
    EXPECT_EQ(buffer_[0], 0x41) << "the count is stored before it is checked";
    EXPECT_EQ(buffer_[1], kGarbage) << "nothing after the count is decoded";
  }
}

TEST_F(RecordCodec, WrongLengthFailsAtTheLengthCheck) {
  for (const char* line : {":0100000531C900", ":0100000531C90", ":0100000531C"}) {
    SCOPED_TRACE(line);
    buffer_.fill(kGarbage);
    line_ = line;
    EXPECT_FALSE(decode());
    EXPECT_EQ(buffer_[0], 0x01);
    EXPECT_EQ(buffer_[1], kGarbage) << "nothing after the count is decoded";
  }
}

TEST_F(RecordCodec, BadDigitInsideTheRecordKeepsTheBytesBeforeIt) {
  line_ = ":01000005x1C9";
  EXPECT_FALSE(decode());
  expectBuffer({0x01, 0x00, 0x00, 0x05});
  EXPECT_EQ(buffer_[4], kGarbage);
}

TEST_F(RecordCodec, WrongChecksumLeavesEveryByteInTheBuffer) {
  line_ = ":0100000531C8";
  EXPECT_FALSE(decode());
  expectBuffer({0x01, 0x00, 0x00, 0x05, 0x31, 0xC8});

  // The same on a full record, with the changed digit in the checksum's high half.
  std::vector<std::uint8_t> bytes = {0x40, 0x80, 0x00, 0x00};
  for (int i = 0; i < 64; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
  std::string line = referenceLine(bytes);
  line[137] = line[137] == '0' ? '1' : '0';
  buffer_.fill(kGarbage);
  line_ = line;
  EXPECT_FALSE(decode());
  expectBuffer(bytes);
  std::uint8_t high = 0;
  std::uint8_t low = 0;
  ASSERT_TRUE(hexDigitValue(line[137], high) && hexDigitValue(line[138], low));
  EXPECT_EQ(buffer_[68], high * 16 + low);
}

TEST_F(RecordCodec, EncodingRefusesCountsAbove64) {
  for (int count : {65, 0x80, 0xFF}) {
    SCOPED_TRACE(count);
    line_ = "previous line";
    buffer_[0] = static_cast<std::uint8_t>(count);
    EXPECT_FALSE(encode());
    EXPECT_EQ(line_, ":");
  }
}

// ----------------------------------------------- against a plain encoder ---

TEST_F(RecordCodec, PseudoRandomRecordsMatchAPlainEncoderAndRoundTrip) {
  std::mt19937 random(20240611u);
  std::uniform_int_distribution<int> byte(0, 255);
  const int counts[] = {64, 64, 64, 64, 64, 64, 0, 1, 17, 63};
  for (int n : counts) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(n)};
    for (int i = 0; i < n + 3; ++i) bytes.push_back(static_cast<std::uint8_t>(byte(random)));
    const std::string expected = referenceLine(bytes);
    SCOPED_TRACE(expected);

    buffer_.fill(kGarbage);
    load(bytes);
    ASSERT_TRUE(encode());
    EXPECT_EQ(line_, expected);
    EXPECT_EQ(line_.size(), static_cast<std::size_t>(2 * n + 11));

    buffer_.fill(kGarbage);
    ASSERT_TRUE(decode());
    expectBuffer(bytes);
    EXPECT_EQ(hexChecksum(line_.c_str() + 1, n + 5), 0);
  }
}

// -------------------------------------------------------------- checksum ---

TEST(HexChecksum, SumsDigitPairs) {
  EXPECT_EQ(hexChecksum("", 0), 0);
  EXPECT_EQ(hexChecksum("zz", 0), 0) << "nothing beyond the pairs asked for is read";
  EXPECT_EQ(hexChecksum("00000001", 4), 0xFF);
  EXPECT_EQ(hexChecksum("0100000531", 5), 0xC9);
  EXPECT_EQ(hexChecksum("0100000531C9", 6), 0);
  EXPECT_EQ(hexChecksum("0100000531C9", 5), 0xC9) << "only the first pairs count";
}

// A reply with a damaged character must never pass as intact (result 0),
// whatever value a damaged pair might otherwise have contributed.
TEST(HexChecksum, DamagedTextNeverSumsToZero) {
  const char* texts[] = {"zz", "01FFzz", "zz01FF", "ff01", "0100000531c9", "0100 00531C9", "00000001fF"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    EXPECT_NE(hexChecksum(text, static_cast<int>(std::strlen(text) / 2)), 0);
  }
  // Every single-character damage of an intact record, with damage that is
  // lower case, just past "9" or "F", or no digit at all.
  const std::string intact = "0100000531C9";
  for (std::size_t pos = 0; pos < intact.size(); ++pos) {
    for (char bad : {'c', 'a', 'f', 'G', ':', '@', '/', ' ', '\0'}) {
      std::string text = intact;
      text[pos] = bad;
      SCOPED_TRACE(testing::Message() << "position " << pos << " char " << static_cast<int>(bad));
      EXPECT_NE(hexChecksum(text.data(), 6), 0);
    }
  }
}

// ------------------------------------------------------------ hex digits ---

TEST(HexDigits, DigitValuesOverEveryCharacter) {
  const std::string digits = "0123456789ABCDEF";
  for (int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(code);
    std::uint8_t value = 0xA5;
    const auto pos = digits.find(c);
    const bool isDigit = c != '\0' && pos != std::string::npos;
    SCOPED_TRACE(code);
    EXPECT_EQ(hexDigitValue(c, value), isDigit);
    EXPECT_EQ(static_cast<std::size_t>(value), isDigit ? pos : std::size_t{0xA5}) << "value must stay unchanged on false";
  }
}

TEST(HexDigits, NibbleToHexIsUpperCaseAndMasksTheHighNibble) {
  const char digits[] = "0123456789ABCDEF";
  for (int v = 0; v < 256; ++v) {
    SCOPED_TRACE(v);
    EXPECT_EQ(nibbleToHex(static_cast<std::uint8_t>(v)), digits[v & 0x0F]);
  }
  EXPECT_EQ(nibbleToHex(0xF3), '3');
  EXPECT_EQ(nibbleToHex(0x5A), 'A');
}

}  // namespace
}  // namespace zorvik::images
