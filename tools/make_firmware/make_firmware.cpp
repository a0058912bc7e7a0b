// Writes the twelve built-in firmware image texts (image01.txt ... image12.txt).
//
// The updater ships with twelve firmware releases whose headers and memory
// layout are fixed (see images/firmware/manifest.txt), but the logger firmware
// itself is not part of this source tree. This tool stands in for it: it lays
// out every image exactly as the release it represents (same header, same
// record addresses, same line count) and fills the data bytes with
// deterministic, MSP430-shaped content - functions of 16-bit little-endian
// instruction words, a constant area, erased (0xFF) flash at the end of each
// run, an info block and an interrupt vector table whose entries point into
// the image's own code. Each image has its own seed, so no two images carry
// the same bytes.
//
// The generated texts are committed; the normal build does not run this tool,
// it only compiles it. To regenerate the texts:
//
//   cmake --build <build-dir> -j 2 --target make_firmware
//   <build-dir>/tools/make_firmware images/firmware
//
// and rebuild: the embed step checks the new texts against manifest.txt.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "images/record_codec.h"

namespace {

struct Run {
  std::uint32_t first;  // address field of the first line
  std::uint32_t last;   // address field of the last line, inclusive
};

struct ImageSpec {
  int bootloader;
  int bootloaderVersion;
  int deviceClass;
  int versionH;
  int versionL;
  int platform;
  int print;
  const char* date;
  std::vector<Run> runs;
};

// Second-generation bootloaders address records by byte, third-generation
// ones by 64-byte block.
constexpr std::uint32_t kInfoByteAddr = 0xF780;
constexpr std::uint32_t kVectorByteAddr = 0xF7C0;
constexpr std::uint32_t kInfoBlock = 0x03D8;
constexpr std::uint32_t kVectorBlock = 0x03DF;
constexpr std::uint32_t kBlockBytes = 64;

const std::vector<ImageSpec>& imageSpecs() {
  static const std::vector<ImageSpec> specs = {
      {2, 0, 26113, 3, 20, 0, 0, "18.06.2009 16:27:52", {{0x2500, 0xA700}, {0xF780, 0xF7C0}}},
      {2, 0, 26113, 4, 8, 1, 1, "26.06.2009 14:37:42", {{0x2800, 0xB340}, {0xF780, 0xF7C0}}},
      {2, 0, 26113, 5, 8, 1, 2, "27.01.2010 10:04:04", {{0x2800, 0xB3C0}, {0xF780, 0xF7C0}}},
      {2, 0, 26113, 5, 18, 4, 6, "03.02.2011 19:30:56", {{0x4400, 0xD8C0}, {0xF780, 0xF7C0}}},
      {2, 1, 26113, 5, 42, 4, 10, "16.11.2012 13:15:56", {{0x4400, 0xF7C0}}},
      {3, 0, 26113, 5, 126, 12, 18, "12.04.2019 08:56:26", {{0x128, 0x155}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x688}}},
      {3, 0, 26113, 5, 134, 12, 30, "12.08.2020 08:01:44", {{0x128, 0x155}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6B7}}},
      {3, 0, 26113, 5, 136, 12, 30, "06.07.2020 13:03:08", {{0x128, 0x155}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6DD}}},
      {3, 0, 26113, 5, 180, 12, 44, "07.02.2023 10:47:42", {{0x128, 0x155}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6DF}}},
      {3, 0, 26113, 5, 180, 23, 49, "07.02.2023 10:48:10", {{0x240, 0x26B}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6DD}}},
      {3, 0, 26113, 6, 20, 24, 49, "21.09.2023 16:20:06", {{0x2C0, 0x2ED}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x6FE}}},
      {3, 0, 26113, 6, 26, 24, 53, "24.04.2025 16:11:52", {{0x2C0, 0x2ED}, {0x3D8, 0x3D8}, {0x3DF, 0x3DF}, {0x400, 0x70A}}},
  };
  return specs;
}

class XorShift32 {
 public:
  explicit XorShift32(std::uint32_t seed) : state_(seed == 0 ? 0x6601u : seed) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // Uniform enough for shaping test data: lo..hi inclusive.
  std::uint32_t range(std::uint32_t lo, std::uint32_t hi) { return lo + next() % (hi - lo + 1); }

 private:
  std::uint32_t state_;
};

// Byte-address range that 16-bit code pointers (calls, vectors) may target.
struct CodeRange {
  std::uint32_t first;
  std::uint32_t last;  // exclusive
};

class CodeWriter {
 public:
  CodeWriter(XorShift32& rng, CodeRange code) : rng_(rng), code_(code) {}

  // One run of flash: functions, then a constant area, then erased bytes.
  std::vector<std::uint8_t> run(std::size_t bytes) {
    bytes_.clear();
    const std::size_t erased = erasedTail(bytes);
    const std::size_t constants = bytes > 1024 ? rng_.range(64, 320) & ~1u : 0;
    while (bytes_.size() + 48 < bytes - erased - constants) function();
    while (bytes_.size() < bytes - erased) word(static_cast<std::uint16_t>(rng_.next()));
    bytes_.resize(bytes - erased);
    bytes_.resize(bytes, 0xFF);
    return bytes_;
  }

  std::uint16_t codeAddress() {
    const std::uint32_t span = code_.last - code_.first;
    return static_cast<std::uint16_t>((code_.first + rng_.next() % span) & ~1u);
  }

 private:
  std::size_t erasedTail(std::size_t bytes) {
    if (bytes <= kBlockBytes) return 0;
    return rng_.range(8, static_cast<std::uint32_t>(bytes > 4096 ? 200 : 40)) & ~1u;
  }

  void word(std::uint16_t w) {
    bytes_.push_back(static_cast<std::uint8_t>(w & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  std::uint16_t reg() { return static_cast<std::uint16_t>(rng_.range(4, 15)); }

  void function() {
    const std::uint32_t saved = rng_.range(0, 3);
    for (std::uint32_t i = 0; i < saved; ++i) word(static_cast<std::uint16_t>(0x120A + i));  // PUSH R10..
    const std::uint32_t body = rng_.range(6, 40);
    for (std::uint32_t i = 0; i < body; ++i) instruction();
    for (std::uint32_t i = saved; i > 0; --i) word(static_cast<std::uint16_t>(0x4139 + i));  // POP
    word(0x4130);  // RET
  }

  void instruction() {
    switch (rng_.range(0, 9)) {
      case 0: word(static_cast<std::uint16_t>(0x4030 | reg())); word(static_cast<std::uint16_t>(rng_.next())); break;  // MOV #imm,Rn
      case 1: word(static_cast<std::uint16_t>(0x4210 | reg())); word(static_cast<std::uint16_t>(0x1C00 + (rng_.range(0, 0x3FF) & ~1u))); break;  // MOV &ram,Rn
      case 2: word(static_cast<std::uint16_t>(0x4000 | reg() << 8 | reg())); break;  // MOV Rs,Rd
      case 3: word(static_cast<std::uint16_t>(0x5030 | reg())); word(static_cast<std::uint16_t>(rng_.range(1, 64))); break;  // ADD #imm,Rn
      case 4: word(static_cast<std::uint16_t>(0x9030 | reg())); word(static_cast<std::uint16_t>(rng_.range(0, 255))); break;  // CMP #imm,Rn
      case 5: word(static_cast<std::uint16_t>(0x2000 | rng_.range(0, 7) << 10 | rng_.range(0, 0x3FF))); break;  // Jcc
      case 6: word(0x12B0); word(codeAddress()); break;  // CALL #addr
      case 7: word(0xD0F2); word(static_cast<std::uint16_t>(1u << rng_.range(0, 7))); word(static_cast<std::uint16_t>(0x0200 + rng_.range(0, 0xFF))); break;  // BIS.B #bit,&periph
      case 8: word(static_cast<std::uint16_t>(0xF000 | reg() << 8 | reg())); break;  // AND Rs,Rd
      default: word(0x4303); break;  // NOP
    }
  }

  XorShift32& rng_;
  CodeRange code_;
  std::vector<std::uint8_t> bytes_;
};

void putWord(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t w) {
  out[at] = static_cast<std::uint8_t>(w & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>((w >> 8) & 0xFF);
}

// The block the firmware reads its own identity from: header words, then the
// build date as text, then erased bytes.
std::vector<std::uint8_t> infoBlock(const ImageSpec& s) {
  std::vector<std::uint8_t> out(kBlockBytes, 0xFF);
  const int words[] = {s.deviceClass, s.versionH, s.versionL, s.platform, s.print, s.bootloader, s.bootloaderVersion};
  std::size_t at = 0;
  for (int w : words) {
    putWord(out, at, static_cast<std::uint32_t>(w));
    at += 2;
  }
  for (const char* p = s.date; *p != '\0'; ++p) out[at++] = static_cast<std::uint8_t>(*p);
  out[at] = 0;
  return out;
}

// 32 interrupt vectors: most to one default handler, some to their own
// handlers, the last (reset) to the start of the code.
std::vector<std::uint8_t> vectorTable(CodeWriter& code, XorShift32& rng, std::uint32_t resetAddr) {
  std::vector<std::uint8_t> out(kBlockBytes);
  const std::uint16_t unused = code.codeAddress();
  for (std::size_t v = 0; v < 31; ++v) putWord(out, 2 * v, rng.range(0, 3) == 0 ? code.codeAddress() : unused);
  putWord(out, 62, resetAddr);
  return out;
}

bool writeImage(const std::string& dir, int index, const ImageSpec& s) {
  const std::uint32_t scale = s.bootloader == 3 ? kBlockBytes : 1;
  const std::uint32_t step = s.bootloader == 3 ? 1 : kBlockBytes;
  const std::uint32_t infoAddr = s.bootloader == 3 ? kInfoBlock : kInfoByteAddr;
  const std::uint32_t vectorAddr = s.bootloader == 3 ? kVectorBlock : kVectorByteAddr;
  const Run& main = s.runs.front();
  const CodeRange codeRange{main.first * scale, (main.last + step) * scale};
  XorShift32 rng(0x9E3779B9u * static_cast<std::uint32_t>(index) ^ 0x5A17C0DEu);
  CodeWriter code(rng, codeRange);

  char name[32];
  std::snprintf(name, sizeof name, "/image%02d.txt", index);
  std::ofstream out(dir + name, std::ios::binary);
  out << "bootloader=" << s.bootloader << "\nbootloader version=" << s.bootloaderVersion << "\nclass=" << s.deviceClass
      << "\nversionH=" << s.versionH << "\nversionL=" << s.versionL << "\nplatform=" << s.platform
      << "\nprint=" << s.print << "\ndate=" << s.date << "\n";

  zorvik::images::RecordBytes record{};
  std::string line;
  for (const Run& r : s.runs) {
    const std::size_t lines = (r.last - r.first) / step + 1;
    const std::vector<std::uint8_t> runBytes = code.run(lines * kBlockBytes);
    for (std::size_t i = 0; i < lines; ++i) {
      const std::uint32_t addr = r.first + static_cast<std::uint32_t>(i) * step;
      std::vector<std::uint8_t> data(runBytes.begin() + static_cast<std::ptrdiff_t>(i * kBlockBytes),
                                     runBytes.begin() + static_cast<std::ptrdiff_t>((i + 1) * kBlockBytes));
      if (addr == infoAddr) data = infoBlock(s);
      if (addr == vectorAddr) data = vectorTable(code, rng, codeRange.first);
      record[zorvik::images::kRecCount] = kBlockBytes;
      record[zorvik::images::kRecAddrHigh] = static_cast<std::uint8_t>(addr >> 8);
      record[zorvik::images::kRecAddrLow] = static_cast<std::uint8_t>(addr & 0xFF);
      record[zorvik::images::kRecType] = 0;
      for (std::size_t b = 0; b < kBlockBytes; ++b) record[zorvik::images::kRecData + b] = data[b];
      if (!zorvik::images::encodeRecord(record, line)) return false;
      out << line << '\n';
    }
  }
  out << ":00000001FF\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_firmware <images/firmware directory>\n";
    return 2;
  }
  int index = 1;
  for (const ImageSpec& spec : imageSpecs()) {
    if (!writeImage(argv[1], index, spec)) {
      std::cerr << "make_firmware: cannot write image " << index << " into " << argv[1] << "\n";
      return 1;
    }
    ++index;
  }
  return 0;
}
