#include "images/identity_tables.h"

#include <algorithm>
#include <iterator>
#include <span>

namespace zorvik::images {

namespace {

constexpr const char* kUnknownName = "?";

struct CodeName {
  std::uint16_t code;
  const char* name;
};

// Binary search over a table sorted by code; nullptr when the code has no row.
const char* findName(std::span<const CodeName> table, std::uint16_t code) {
  const auto it = std::lower_bound(table.begin(), table.end(), code,
                                   [](const CodeName& row, std::uint16_t c) { return row.code < c; });
  return (it != table.end() && it->code == code) ? it->name : nullptr;
}

template <std::size_t N>
constexpr bool sortedByCode(const CodeName (&table)[N]) {
  for (std::size_t i = 1; i < N; ++i) {
    if (table[i - 1].code >= table[i].code) return false;
  }
  return true;
}

// The logger family's class register. Classes 26135 and 26145 carry their
// generic name here; the radio prints below refine it.
constexpr CodeName kClassNames[] = {
    {26000, "Prototype"},   {26113, "ZorvikB"},   {26114, "ZorvikA2"},  {26115, "ZorvikA3"},
    {26116, "ZorvikA4"},    {26117, "ZorvikC"},   {26118, "ZorvikC2"},  {26119, "ZorvikE"},
    {26120, "ZorvikE2"},    {26121, "ZorvikF"},   {26122, "SD CARD"},   {26123, "ZorvikG"},
    {26124, "ZorvikG2"},    {26126, "ZorvikH"},   {26127, "ZorvikH2"},  {26128, "ZorvikK"},
    {26129, "ZorvikK2"},    {26130, "ZorvikL"},   {26131, "ZorvikL2"},  {26132, "ZorvikM"},
    {26133, "ZorvikM2"},    {26134, "ZorvikN"},   {26135, "ZorvikWxD"}, {26136, "ZorvikN2"},
    {26137, "ZorvikP"},     {26138, "ZorvikP2"},  {26139, "ZorvikR"},   {26140, "ZorvikR2"},
    {26141, "ZorvikS"},     {26142, "ZorvikS2"},  {26143, "ZorvikT"},   {26144, "ZorvikT2"},
    {26145, "ZorvikVx"},    {26146, "ZorvikX"},   {26147, "ZorvikX2"},  {26148, "ZorvikY"},
    {26149, "ZorvikY2"},    {26150, "ZorvikZ"},   {26151, "ZorvikZ2"},  {26152, "ZorvikQ"},
    {26153, "ZorvikQ2"},    {26154, "ZorvikJ"},   {26155, "WLAN Production"},
    {26156, "ZorvikJ2"},    {26157, "BLE1 ZorvikWD"},                   {26158, "ZorvikU"},
    {26159, "ZorvikU2"},    {51200, "BL"},        {51201, "BL2"},       {51202, "BL3"},
};
static_assert(std::size(kClassNames) == 50);
static_assert(sortedByCode(kClassNames));

// Two classes are sold with a WLAN or a BLE radio; the board print tells
// which one a logger carries, and with it the model name.
struct PrintedClassName {
  std::uint16_t deviceClass;
  std::uint16_t print;
  const char* name;
};
constexpr PrintedClassName kPrintedClassNames[] = {
    {26135, 38, "ZorvikW2D"}, {26135, 47, "ZorvikW2D"}, {26135, 55, "ZorvikW2D"},
    {26135, 39, "ZorvikWD"},  {26135, 48, "ZorvikWD"},  {26135, 56, "ZorvikWD"},
    {26145, 38, "ZorvikVW"},  {26145, 47, "ZorvikVW"},
    {26145, 39, "ZorvikVB"},  {26145, 48, "ZorvikVB"},
};

// The board register's platform list: MSP430 types with their board letter,
// and the two radio modules.
constexpr CodeName kPlatformNames[] = {
    {0, "F1612 A"},   {1, "F1612 B"},   {2, "F2617 B"},      {3, "F1611 SD"},  {4, "F1611 B"},
    {5, "F1610 B"},   {6, "F1611 C"},   {7, "F2617 C"},      {8, "F5528 A"},   {9, "F1611 D"},
    {10, "F2274 A"},  {11, "F5340 SD"}, {12, "F5328 A"},     {13, "F5419 A"},  {14, "F5438 A"},
    {15, "F5438 WD"}, {16, "F5328 B"},  {17, "F5328 C"},     {18, "NINA"},     {19, "BlueGiga"},
    {20, "ZorvikQ Core"},  {21, "F5438 WD2"}, {22, "F5340 SM"},   {23, "F5335"},    {24, "F5335 B"},
    {25, "F5232"},    {26, "F5335 C"},  {27, "F5335 D"},     {28, "F5358"},    {0xFFFE, "F1611 C-SP"},
};
static_assert(std::size(kPlatformNames) == 30);
static_assert(sortedByCode(kPlatformNames));

// The board register's print revisions; boards made for one model only carry
// that model in parentheses.
constexpr CodeName kPrintNames[] = {
    {0, "A0"},
    {1, "A1"},
    {2, "A2"},
    {3, "B3"},
    {4, "C1"},
    {5, "A3"},
    {6, "A5"},
    {7, "C2"},
    {8, "D1"},
    {9, "C3"},
    {10, "A6/A7/A8"},
    {11, "N1/2 Display"},
    {12, "A4 (ZorvikC)"},
    {13, "PM0"},
    {14, "N1/2 DAC"},
    {15, "PB0"},
    {16, "E3"},
    {17, "B5"},
    {18, "A9b"},
    {19, "A10"},
    {20, "C5"},
    {21, "C6"},
    {22, "AR9"},
    {23, "PM3"},
    {24, "A9 (ZorvikH)"},
    {25, "A9 (ZorvikK)"},
    {26, "A9c (ZorvikH)"},
    {27, "A10 (ZorvikL)"},
    {28, "A10b (ZorvikL)"},
    {29, "A10c (ZorvikM)"},
    {30, "A9d"},
    {31, "NINA W1 UART"},
    {32, "NINA W1 SPI"},
    {33, "A10 WLAN UART"},
    {34, "A10 WLAN SPI"},
    {35, "NINA B3 UART"},
    {36, "BlueGiga UART"},
    {37, "A10e"},
    {38, "A10e WLAN UART"},
    {39, "A10e BLE UART"},
    {40, "A10e (ZorvikN)"},
    {43, "A9e (ZorvikP)"},
    {44, "A9e"},
    {45, "TGT1a"},
    {46, "A10g"},
    {47, "A10g WLAN UART"},
    {48, "A10g BLE UART"},
    {49, "A9f"},
    {50, "A10 Modbus"},
    {51, "A10g (ZorvikR)"},
    {52, "B7"},
    {53, "A9g"},
    {54, "A9g (ZorvikS)"},
    {55, "A10i WLAN UART"},
    {56, "A10i BLE UART"},
    {57, "A10i (ZorvikT)"},
};
static_assert(std::size(kPrintNames) == 56);
static_assert(sortedByCode(kPrintNames));

constexpr MemorySegment segment(std::int32_t first, std::int32_t last) { return {true, first, last}; }
constexpr MemorySegment kNoSeg{};

struct PlatformMap {
  std::uint16_t platform;
  MemoryMap map;
};

// Memory layout of each platform as its bootloader addresses it (segment 0 is
// where the update identity block lives). The radio modules (18, 19) have no
// segments listed.
constexpr PlatformMap kMemoryMaps[] = {
    {0, {kNoSeg, segment(0x1000, 0x107F), segment(0x1080, 0x10FF), kNoSeg, kNoSeg, segment(0x2500, 0xF7FF), kNoSeg}},
    {1, {segment(0x1000, 0x107F), segment(0x1080, 0x10FF), segment(0x2600, 0x27FF), kNoSeg, kNoSeg, segment(0x2800, 0xF7FF), kNoSeg}},
    {2, {segment(0x1000, 0x103F), segment(0x1040, 0x10BF), segment(0x3200, 0x33FF), segment(0x3100, 0x31FF), kNoSeg,
         segment(0x3400, 0xF7FF), kNoSeg}},
    {3, {kNoSeg, segment(0x1000, 0x107F), segment(0x1080, 0x10FF), kNoSeg, kNoSeg, segment(0x8000, 0xF7FF), kNoSeg}},
    {4, {segment(0x1000, 0x107F), segment(0x1080, 0x10FF), segment(0x4200, 0x43FF), kNoSeg, kNoSeg, segment(0x4400, 0xF7FF), kNoSeg}},
    {5, {segment(0x1000, 0x107F), segment(0x1080, 0x10FF), segment(0x8200, 0x83FF), kNoSeg, kNoSeg, segment(0x8400, 0xF7FF), kNoSeg}},
    {6, {segment(0x1000, 0x107F), segment(0x1080, 0x10FF), segment(0x4200, 0x43FF), segment(0x4000, 0x41FF), segment(0x4400, 0x45FF),
         segment(0x4600, 0xF7FF), kNoSeg}},
    {7, {segment(0x1000, 0x103F), segment(0x1040, 0x10BF), segment(0x3200, 0x33FF), segment(0x3100, 0x31FF), kNoSeg,
         segment(0x3A00, 0xF7FF), segment(0x10000, 0x19FFF)}},
    {8, {segment(0x1900, 0x197F), segment(0x1880, 0x18FF), segment(0x1800, 0x187F), kNoSeg, kNoSeg, segment(0x4400, 0xF7FF),
         segment(0x10000, 0x243FF)}},
    {9, {segment(0x1000, 0x10FF), segment(0x4000, 0x41FF), segment(0x4200, 0x43FF), segment(0x4400, 0x45FF), segment(0x4600, 0x49FF),
         segment(0x4A00, 0xF7FF), kNoSeg}},
    {10, {segment(0x1000, 0x103F), kNoSeg, segment(0x1040, 0x107F), segment(0x1080, 0x10BF), kNoSeg, segment(0x8000, 0xF7FF),
          kNoSeg}},
    {11, {segment(0x1900, 0x197F), segment(0x1880, 0x18FF), segment(0x1800, 0x187F), kNoSeg, kNoSeg, segment(0x4400, 0xF7FF),
          segment(0x10000, 0x143FF)}},
    {12, {segment(0x1800, 0x187F), segment(0x4400, 0x45FF), segment(0x4600, 0x47FF), kNoSeg, kNoSeg, segment(0x4A00, 0xF7FF),
          segment(0x10000, 0x243FF)}},
    // 13 and 14 overlap segment 2 with segment 5; kept as the register lists them.
    {13, {segment(0x1800, 0x187F), kNoSeg, segment(0x5C00, 0x83FF), kNoSeg, kNoSeg, segment(0x5C00, 0xF7FF),
          segment(0x10000, 0x25BFF)}},
    {14, {segment(0x1800, 0x187F), kNoSeg, segment(0x5C00, 0x7FFF), kNoSeg, kNoSeg, segment(0x5C00, 0xF7FF),
          segment(0x10000, 0x45BFF)}},
    {15, {segment(0x1800, 0x187F), segment(0x5C00, 0x63FF), kNoSeg, kNoSeg, kNoSeg, segment(0x8000, 0xF7FF),
          segment(0x10000, 0x42BFF)}},
    {16, {segment(0x1800, 0x187F), segment(0x4400, 0x49FF), segment(0x4A00, 0x51FF), kNoSeg, kNoSeg, segment(0x5200, 0xF7FF),
          segment(0x10000, 0x243FF)}},
    {17, {segment(0x1800, 0x187F), segment(0x4400, 0x45FF), segment(0x4600, 0x49FF), kNoSeg, kNoSeg, segment(0x6000, 0xF7FF),
          segment(0x10000, 0x243FF)}},
    {18, {kNoSeg, kNoSeg, kNoSeg, kNoSeg, kNoSeg, kNoSeg, kNoSeg}},
    {19, {kNoSeg, kNoSeg, kNoSeg, kNoSeg, kNoSeg, kNoSeg, kNoSeg}},
    {20, {segment(0x1800, 0x187F), segment(0x5C00, 0x61FF), segment(0x1880, 0x18FF), segment(0x6200, 0x69FF), kNoSeg,
          segment(0x8000, 0xF7FF), segment(0x10000, 0x3FFFF)}},
    {21, {segment(0x1800, 0x187F), segment(0x5C00, 0x63FF), kNoSeg, kNoSeg, kNoSeg, segment(0x8000, 0xF7FF),
          segment(0x10000, 0x42BFF)}},
    {22, {segment(0x1800, 0x187F), segment(0x1880, 0x18FF), segment(0x1900, 0x197F), kNoSeg, kNoSeg, segment(0x4400, 0xF7FF),
          segment(0x10000, 0x143FF)}},
    {23, {segment(0x1800, 0x187F), segment(0x8000, 0x85FF), segment(0x1880, 0x18FF), segment(0x8600, 0x8FFF), kNoSeg,
          segment(0x9000, 0xF7FF), segment(0x10000, 0x3FFFF)}},
    {24, {segment(0x1800, 0x18FF), segment(0x8000, 0x8BFF), segment(0x1900, 0x197F), segment(0x8C00, 0xAFFF), kNoSeg,
          segment(0xB000, 0xF7FF), segment(0x10000, 0x27FFF)}},
    {25, {segment(0x1900, 0x197F), segment(0x1880, 0x18FF), segment(0x1800, 0x187F), kNoSeg, kNoSeg, segment(0x4400, 0xF7FF),
          segment(0x10000, 0x143FF)}},
    {26, {segment(0x1800, 0x187F), segment(0x8000, 0x85FF), segment(0x1880, 0x18FF), segment(0x8600, 0x8DFF), kNoSeg,
          segment(0x9000, 0xF7FF), segment(0x10000, 0x17FFF)}},
    {27, {segment(0x1800, 0x187F), segment(0x8000, 0x85FF), segment(0x1880, 0x18FF), segment(0x8600, 0x8DFF), kNoSeg,
          segment(0x9000, 0xF7FF), segment(0x10000, 0x27FFF)}},
    {28, {segment(0x1800, 0x187F), segment(0x8000, 0x85FF), segment(0x1880, 0x18FF), segment(0x8600, 0x8DFF), kNoSeg,
          segment(0x9000, 0xF7FF), segment(0x10000, 0x67FFF)}},
    // The special-purpose variant of 6: its program area starts lower and
    // overlaps segments 3 and 4.
    {0xFFFE, {segment(0x1000, 0x107F), segment(0x1080, 0x10FF), segment(0x4200, 0x43FF), segment(0x4000, 0x41FF),
              segment(0x4400, 0x45FF), segment(0x4000, 0xF7FF), kNoSeg}},
};
static_assert(std::size(kMemoryMaps) == 30);

std::uint16_t validIfNamed(const char* name, std::uint16_t code) { return name != nullptr ? code : kNoCode; }

}  // namespace

std::string className(std::uint16_t deviceClass, std::uint16_t print) {
  const char* name = findName(kClassNames, deviceClass);
  if (name == nullptr) return kUnknownName;
  for (const auto& row : kPrintedClassNames) {
    if (row.deviceClass == deviceClass && row.print == print) return row.name;
  }
  return name;
}

std::uint16_t validClass(std::uint16_t deviceClass) {
  return validIfNamed(findName(kClassNames, deviceClass), deviceClass);
}

std::string platformName(std::uint16_t platform) {
  const char* name = findName(kPlatformNames, platform);
  return name != nullptr ? name : kUnknownName;
}

std::uint16_t validPlatform(std::uint16_t platform) {
  return validIfNamed(findName(kPlatformNames, platform), platform);
}

std::string printName(std::uint16_t print) {
  const char* name = findName(kPrintNames, print);
  return name != nullptr ? name : kUnknownName;
}

std::uint16_t validPrint(std::uint16_t print) { return validIfNamed(findName(kPrintNames, print), print); }

MemoryMap memoryMap(std::uint16_t platform) {
  for (const auto& row : kMemoryMaps) {
    if (row.platform == platform) return row.map;
  }
  return MemoryMap{};
}

}  // namespace zorvik::images
