// The identity tables checked against an independent transcription of the
// logger family's registers: names, validators and memory maps.
#include "images/identity_tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zorvik::images {
namespace {

constexpr std::uint16_t kClassSwitchedW = 26135;  // W2D / WD / WxD by print
constexpr std::uint16_t kClassSwitchedV = 26145;  // three model names by print

// ---------------------------------------------------------------- classes ---

TEST(ClassTable, ValidatorAtTheEdgesOfTheRanges) {
  struct Case {
    std::uint16_t code;
    std::uint16_t expected;
  };
  const Case cases[] = {
      {25999, kNoCode}, {26000, 26000},   {26001, kNoCode}, {26112, kNoCode}, {26113, 26113},
      {26124, 26124},   {26125, kNoCode}, {26126, 26126},   {26135, 26135},   {26145, 26145},
      {26159, 26159},   {26160, kNoCode}, {51199, kNoCode}, {51200, 51200},   {51202, 0xC802},
      {0xC803, kNoCode}, {0, kNoCode},    {0xFFFE, kNoCode}, {0xFFFF, kNoCode},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(validClass(c.code), c.expected);
  }
}

TEST(ClassTable, FixedNames) {
  struct Case {
    std::uint16_t code;
    const char* name;
  };
  const Case cases[] = {
      {26000, "Prototype"},       {0x6601, "ZorvikB"},        {26122, "SD CARD"},
      {26155, "WLAN Production"}, {26157, "BLE1 ZorvikWD"},   {0xC800, "BL"},
      {0xC801, "BL2"},            {0xC802, "BL3"},            {26125, "?"},
      {0xC803, "?"},              {0xFFFF, "?"},              {0, "?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(className(c.code, kNoCode), c.name);
    EXPECT_EQ(className(c.code, 38), c.name) << "print must not matter for this class";
  }
}

TEST(ClassTable, WlanBleClassNamedByPrint) {
  struct Case {
    std::uint16_t print;
    const char* name;
  };
  const Case cases[] = {
      {38, "ZorvikW2D"}, {47, "ZorvikW2D"}, {55, "ZorvikW2D"}, {39, "ZorvikWD"},   {48, "ZorvikWD"},
      {56, "ZorvikWD"},  {0, "ZorvikWxD"},  {37, "ZorvikWxD"}, {40, "ZorvikWxD"},  {57, "ZorvikWxD"},
      {41, "ZorvikWxD"}, {0xFFFF, "ZorvikWxD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.print);
    EXPECT_EQ(className(kClassSwitchedW, c.print), c.name);
  }
  EXPECT_EQ(validClass(kClassSwitchedW), kClassSwitchedW);
}

TEST(ClassTable, SecondSwitchedClassHasThreeNamesAndIgnoresTheNewestPrints) {
  const std::string wlan = className(kClassSwitchedV, 38);
  const std::string ble = className(kClassSwitchedV, 39);
  const std::string generic = className(kClassSwitchedV, kNoCode);
  EXPECT_EQ(className(kClassSwitchedV, 47), wlan);
  EXPECT_EQ(className(kClassSwitchedV, 48), ble);
  // Unlike its sibling class, prints 55 and 56 do not select a radio name.
  for (std::uint16_t print : {0, 37, 40, 55, 56, 57}) {
    SCOPED_TRACE(print);
    EXPECT_EQ(className(kClassSwitchedV, print), generic);
  }
  EXPECT_NE(wlan, ble);
  EXPECT_NE(wlan, generic);
  EXPECT_NE(ble, generic);
  for (const auto& name : {wlan, ble, generic}) {
    EXPECT_NE(name, "?");
    EXPECT_FALSE(name.empty());
  }
}

TEST(ClassTable, OnlyTheTwoSwitchedClassesDependOnThePrint) {
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const auto cls = static_cast<std::uint16_t>(code);
    if (validClass(cls) == kNoCode || cls == kClassSwitchedW || cls == kClassSwitchedV) continue;
    const std::string name = className(cls, kNoCode);
    for (std::uint16_t print : {0, 38, 39, 47, 48, 55, 56, 57}) {
      EXPECT_EQ(className(cls, print), name) << "class " << code << " print " << print;
    }
  }
}

// -------------------------------------------------------------- platforms ---

TEST(PlatformTable, FixedNames) {
  struct Case {
    std::uint16_t code;
    const char* name;
  };
  const Case cases[] = {
      {0, "F1612 A"},   {1, "F1612 B"},   {2, "F2617 B"},   {3, "F1611 SD"},  {4, "F1611 B"},
      {5, "F1610 B"},   {6, "F1611 C"},   {7, "F2617 C"},   {8, "F5528 A"},   {9, "F1611 D"},
      {10, "F2274 A"},  {11, "F5340 SD"}, {12, "F5328 A"},  {13, "F5419 A"},  {14, "F5438 A"},
      {15, "F5438 WD"}, {16, "F5328 B"},  {17, "F5328 C"},  {18, "NINA"},     {19, "BlueGiga"},
      {21, "F5438 WD2"}, {22, "F5340 SM"}, {23, "F5335"},   {24, "F5335 B"},  {25, "F5232"},
      {26, "F5335 C"},  {27, "F5335 D"},  {28, "F5358"},    {0xFFFE, "F1611 C-SP"},
  };
  static_assert(std::size(cases) == 29);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(platformName(c.code), c.name);
    EXPECT_EQ(validPlatform(c.code), c.code);
  }
}

TEST(PlatformTable, ModelNamedPlatformAndUnknownCodes) {
  EXPECT_EQ(validPlatform(20), 20);
  EXPECT_NE(platformName(20), "?");
  EXPECT_FALSE(platformName(20).empty());
  for (std::uint16_t code : {29, 30, 1000, 0xFFFD, 0xFFFF}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(validPlatform(code), kNoCode);
    EXPECT_EQ(platformName(code), "?");
  }
}

// ----------------------------------------------------------------- prints ---

TEST(PrintTable, FixedNames) {
  struct Case {
    std::uint16_t code;
    const char* name;
  };
  const Case cases[] = {
      {0, "A0"},   {1, "A1"},   {2, "A2"},          {3, "B3"},           {4, "C1"},
      {5, "A3"},   {6, "A5"},   {7, "C2"},          {8, "D1"},           {9, "C3"},
      {10, "A6/A7/A8"},         {11, "N1/2 Display"}, {13, "PM0"},       {14, "N1/2 DAC"},
      {15, "PB0"}, {16, "E3"},  {17, "B5"},         {18, "A9b"},         {19, "A10"},
      {20, "C5"},  {21, "C6"},  {22, "AR9"},        {23, "PM3"},         {30, "A9d"},
      {31, "NINA W1 UART"},     {32, "NINA W1 SPI"}, {33, "A10 WLAN UART"}, {34, "A10 WLAN SPI"},
      {35, "NINA B3 UART"},     {36, "BlueGiga UART"}, {37, "A10e"},     {38, "A10e WLAN UART"},
      {39, "A10e BLE UART"},    {44, "A9e"},        {45, "TGT1a"},       {46, "A10g"},
      {47, "A10g WLAN UART"},   {48, "A10g BLE UART"}, {49, "A9f"},      {50, "A10 Modbus"},
      {52, "B7"},  {53, "A9g"}, {55, "A10i WLAN UART"}, {56, "A10i BLE UART"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(printName(c.code), c.name);
  }
}

TEST(PrintTable, ModelRowsAreBoardPlusModelInParentheses) {
  for (std::uint16_t code : {12, 24, 25, 26, 27, 28, 29, 40, 43, 51, 54, 57}) {
    SCOPED_TRACE(code);
    const std::string name = printName(code);
    EXPECT_EQ(validPrint(code), code);
    const auto open = name.find(" (");
    ASSERT_NE(open, std::string::npos) << name;
    EXPECT_GT(open, 0u) << "a board name comes first: " << name;
    EXPECT_EQ(name.back(), ')') << name;
    EXPECT_GT(name.size(), open + 3) << "a model name sits inside the parentheses: " << name;
  }
}

TEST(PrintTable, ValidatorAroundTheGap) {
  struct Case {
    std::uint16_t code;
    std::uint16_t expected;
  };
  const Case cases[] = {{0, 0},         {40, 40},          {41, kNoCode},     {42, kNoCode}, {43, 43},
                        {57, 57},       {58, kNoCode},     {0xFFFE, kNoCode}, {0xFFFF, kNoCode}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(validPrint(c.code), c.expected);
    EXPECT_EQ(printName(c.code) == "?", c.expected == kNoCode);
  }
}

// ------------------------------------------------ all three kinds at once ---

struct Kind {
  const char* label;
  std::uint16_t (*valid)(std::uint16_t);
  std::string (*name)(std::uint16_t);
  int count;
};
std::string classNameNoPrint(std::uint16_t code) { return className(code, kNoCode); }
const Kind kKinds[] = {
    {"class", validClass, classNameNoPrint, 50},
    {"platform", validPlatform, platformName, 30},
    {"print", validPrint, printName, 56},
};

// Over the whole code space: a code is valid exactly when it has a name, the
// validator passes a code unchanged or gives 0xFFFF, the number of valid codes
// is the register's, and no two codes share a name.
TEST(IdentityTables, ValidExactlyWhenNamedAndNamesDistinct) {
  for (const auto& kind : kKinds) {
    SCOPED_TRACE(kind.label);
    int valid = 0;
    std::set<std::string> names;
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
      const auto c = static_cast<std::uint16_t>(code);
      const std::uint16_t v = kind.valid(c);
      const std::string name = kind.name(c);
      ASSERT_TRUE(v == c || v == kNoCode) << code;
      if (v == kNoCode && c != kNoCode) {
        ASSERT_EQ(name, "?") << code;
        continue;
      }
      if (c == kNoCode) {
        ASSERT_EQ(v, kNoCode);
        ASSERT_EQ(name, "?");
        continue;
      }
      ++valid;
      ASSERT_FALSE(name.empty()) << code;
      ASSERT_NE(name, "?") << code;
      EXPECT_TRUE(names.insert(name).second) << "name used twice: " << name;
    }
    EXPECT_EQ(valid, kind.count);
  }
}

// ----------------------------------------------------------- memory maps ---

// Memory maps as the board register lists them: platform, then segments
// 0 to 6 as first-last (hex, inclusive); "-" is a segment that does not exist.
constexpr const char* kMemoryMapRegister = R"(
0    | -           | 1000-107F   | 1080-10FF   | -           | -           | 2500-F7FF   | -
1    | 1000-107F   | 1080-10FF   | 2600-27FF   | -           | -           | 2800-F7FF   | -
2    | 1000-103F   | 1040-10BF   | 3200-33FF   | 3100-31FF   | -           | 3400-F7FF   | -
3    | -           | 1000-107F   | 1080-10FF   | -           | -           | 8000-F7FF   | -
4    | 1000-107F   | 1080-10FF   | 4200-43FF   | -           | -           | 4400-F7FF   | -
5    | 1000-107F   | 1080-10FF   | 8200-83FF   | -           | -           | 8400-F7FF   | -
6    | 1000-107F   | 1080-10FF   | 4200-43FF   | 4000-41FF   | 4400-45FF   | 4600-F7FF   | -
7    | 1000-103F   | 1040-10BF   | 3200-33FF   | 3100-31FF   | -           | 3A00-F7FF   | 10000-19FFF
8    | 1900-197F   | 1880-18FF   | 1800-187F   | -           | -           | 4400-F7FF   | 10000-243FF
9    | 1000-10FF   | 4000-41FF   | 4200-43FF   | 4400-45FF   | 4600-49FF   | 4A00-F7FF   | -
10   | 1000-103F   | -           | 1040-107F   | 1080-10BF   | -           | 8000-F7FF   | -
11   | 1900-197F   | 1880-18FF   | 1800-187F   | -           | -           | 4400-F7FF   | 10000-143FF
12   | 1800-187F   | 4400-45FF   | 4600-47FF   | -           | -           | 4A00-F7FF   | 10000-243FF
13   | 1800-187F   | -           | 5C00-83FF   | -           | -           | 5C00-F7FF   | 10000-25BFF
14   | 1800-187F   | -           | 5C00-7FFF   | -           | -           | 5C00-F7FF   | 10000-45BFF
15   | 1800-187F   | 5C00-63FF   | -           | -           | -           | 8000-F7FF   | 10000-42BFF
16   | 1800-187F   | 4400-49FF   | 4A00-51FF   | -           | -           | 5200-F7FF   | 10000-243FF
17   | 1800-187F   | 4400-45FF   | 4600-49FF   | -           | -           | 6000-F7FF   | 10000-243FF
18   | -           | -           | -           | -           | -           | -           | -
19   | -           | -           | -           | -           | -           | -           | -
20   | 1800-187F   | 5C00-61FF   | 1880-18FF   | 6200-69FF   | -           | 8000-F7FF   | 10000-3FFFF
21   | 1800-187F   | 5C00-63FF   | -           | -           | -           | 8000-F7FF   | 10000-42BFF
22   | 1800-187F   | 1880-18FF   | 1900-197F   | -           | -           | 4400-F7FF   | 10000-143FF
23   | 1800-187F   | 8000-85FF   | 1880-18FF   | 8600-8FFF   | -           | 9000-F7FF   | 10000-3FFFF
24   | 1800-18FF   | 8000-8BFF   | 1900-197F   | 8C00-AFFF   | -           | B000-F7FF   | 10000-27FFF
25   | 1900-197F   | 1880-18FF   | 1800-187F   | -           | -           | 4400-F7FF   | 10000-143FF
26   | 1800-187F   | 8000-85FF   | 1880-18FF   | 8600-8DFF   | -           | 9000-F7FF   | 10000-17FFF
27   | 1800-187F   | 8000-85FF   | 1880-18FF   | 8600-8DFF   | -           | 9000-F7FF   | 10000-27FFF
28   | 1800-187F   | 8000-85FF   | 1880-18FF   | 8600-8DFF   | -           | 9000-F7FF   | 10000-67FFF
0xFFFE | 1000-107F   | 1080-10FF   | 4200-43FF   | 4000-41FF   | 4400-45FF   | 4000-F7FF   | -
)";

struct ExpectedMap {
  std::uint16_t platform;
  MemoryMap map;
};

MemorySegment parseSegment(const std::string& text) {
  if (text == "-") return {};
  unsigned first = 0;
  unsigned last = 0;
  char dash = 0;
  std::istringstream in(text);
  in >> std::hex >> first >> dash >> last;
  EXPECT_TRUE(in && dash == '-') << "bad register entry " << text;
  return {true, static_cast<std::int32_t>(first), static_cast<std::int32_t>(last)};
}

std::vector<ExpectedMap> parseRegister() {
  std::vector<ExpectedMap> rows;
  std::istringstream lines(kMemoryMapRegister);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    std::istringstream fields(line);
    std::string field;
    std::getline(fields, field, '|');
    ExpectedMap row{static_cast<std::uint16_t>(std::stoul(field, nullptr, 0)), {}};
    for (auto& segment : row.map) {
      std::getline(fields, field, '|');
      const auto b = field.find_first_not_of(' ');
      const auto e = field.find_last_not_of(' ');
      segment = parseSegment(b == std::string::npos ? "" : field.substr(b, e - b + 1));
    }
    rows.push_back(row);
  }
  return rows;
}

std::string describe(const MemorySegment& s) {
  char text[48];
  std::snprintf(text, sizeof text, "{%s, 0x%X, 0x%X}", s.enabled ? "on" : "off", static_cast<unsigned>(s.first),
                static_cast<unsigned>(s.last));
  return text;
}

TEST(MemoryMaps, EveryPlatformSegmentBySegment) {
  const auto rows = parseRegister();
  ASSERT_EQ(rows.size(), 30u);
  for (const auto& row : rows) {
    const MemoryMap map = memoryMap(row.platform);
    for (std::size_t i = 0; i < map.size(); ++i) {
      EXPECT_EQ(map[i], row.map[i]) << "platform 0x" << std::hex << row.platform << " segment " << i << ": got "
                                    << describe(map[i]) << ", register " << describe(row.map[i]);
    }
  }
}

TEST(MemoryMaps, PlatformsWithoutSegmentsGiveAnEmptyMap) {
  for (std::uint16_t platform : {18, 19, 29, 1000, 0xFFFD, 0xFFFF}) {
    SCOPED_TRACE(platform);
    for (const auto& segment : memoryMap(platform)) {
      EXPECT_FALSE(segment.enabled);
      EXPECT_EQ(segment.first, 0);
      EXPECT_EQ(segment.last, 0);
    }
  }
}

// Each map stands alone: nothing of a platform looked up before shows through
// in the next one (as it would from a map kept between calls).
TEST(MemoryMaps, NothingOfAnEarlierLookUpShowsThrough) {
  ASSERT_TRUE(memoryMap(24)[6].enabled);  // the first look-up really has something
  EXPECT_EQ(memoryMap(18), MemoryMap{});

  // A platform with fewer segments after one with more: the gaps are cleared.
  ASSERT_TRUE(memoryMap(6)[4].enabled);
  const MemoryMap map = memoryMap(15);
  const MemorySegment off{};
  EXPECT_EQ(map[2], off);
  EXPECT_EQ(map[3], off);
  EXPECT_EQ(map[4], off);
}

TEST(MemoryMaps, UpdateIdAddressOfThirdGenerationBootloader) {
  const MemoryMap map = memoryMap(23);
  EXPECT_EQ(map[0].first, 0x1800);
  EXPECT_EQ(map[0].first / 64, 0x60);
}

}  // namespace
}  // namespace zorvik::images
