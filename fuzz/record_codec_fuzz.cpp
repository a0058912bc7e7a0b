// decodeRecord (the reentrant overload) on any text: it must never read past
// the line, and what it accepts must be exactly the canonical records, the
// ones encodeRecord writes and the reply checksum test passes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "images/record_codec.h"

using namespace zorvik::images;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// The link's test of a reply: colon, count pair, the right length, pairs summing to 0.
bool passesReplyTest(std::string_view line) {
  if (line.size() < 11 || line[0] != ':') return false;
  std::uint8_t high = 0;
  std::uint8_t low = 0;
  if (!hexDigitValue(line[1], high) || !hexDigitValue(line[2], low)) return false;
  const int n = high * 16 + low;
  if (n > kMaxRecordData || line.size() != static_cast<std::size_t>(2 * n + 11)) return false;
  return hexChecksum(line.data() + 1, n + 5) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly `size` bytes: any read past it is caught by ASan.
  const std::string line(reinterpret_cast<const char*>(data), size);
  RecordBytes record{};
  const bool decoded = decodeRecord(std::string_view(line), record);
  check(decoded == passesReplyTest(line));
  if (decoded) {
    std::string again;
    check(encodeRecord(record, again));
    check(again == line);
  }
  return 0;
}
