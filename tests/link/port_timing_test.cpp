// Write timeouts against the line's own time: a write must never be given
// up while its bytes can still be on their way.
#include "link/port_timing.h"

#include <gtest/gtest.h>

namespace zorvik::link {
namespace {

TEST(PortTiming, OneCharacterIsTenBitsRoundedUp) {
  EXPECT_EQ(charMicros(9600), 1042);  // 1041.67 us
  EXPECT_EQ(charMicros(115200), 87);  // 86.8 us
  EXPECT_EQ(charMicros(300), 33334);  // 33333.3 us
  EXPECT_EQ(charMicros(0), 0);
}

// For every rate and write size: the bytes' time on the line, computed here
// from the bit count, fits inside both forms of the timeout.
TEST(PortTiming, TimeoutsCoverTheLineTimeOfEveryWrite) {
  for (const std::int32_t baud : {300, 1200, 9600, 19200, 115200}) {
    for (const std::size_t bytes : {std::size_t{1}, std::size_t{8}, std::size_t{139}, std::size_t{1000}}) {
      SCOPED_TRACE(std::to_string(baud) + " baud, " + std::to_string(bytes) + " bytes");
      const double lineMicros = static_cast<double>(bytes) * 10.0 * 1e6 / baud;
      EXPECT_GE(static_cast<double>(writeTimeout(bytes, baud).count()), lineMicros);
      const WriteTimeouts win = writeTimeouts(baud);
      EXPECT_GE(1000.0 * (static_cast<double>(win.perByteMs) * static_cast<double>(bytes) + win.constantMs), lineMicros);
    }
  }
}

// The case that failed: one millisecond per byte at 9600 baud gives up on a
// 139-character data line after 139 ms, while it needs 145 ms on the line.
TEST(PortTiming, NineThousandSixHundredBaudNeedsTwoMillisecondsPerByteOnWindows) {
  EXPECT_EQ(writeTimeouts(9600).perByteMs, 2u);
  EXPECT_EQ(writeTimeouts(115200).perByteMs, 1u);
  EXPECT_GT(writeTimeouts(9600).perByteMs * 139, 145u);
}

}  // namespace
}  // namespace zorvik::link
