// Private to its library.
// How long the line needs for what is written to it, and so how long a
// write may take before it counts as stuck. Kept apart from the backends so
// that both use one rule and it can be checked without a port.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace zorvik::link {

// One character on the line: a start bit, eight data bits and a stop bit,
// rounded up to whole microseconds (1042 us at 9600 baud).
constexpr std::int64_t charMicros(std::int32_t baudRate) {
  return baudRate > 0 ? (10'000'000 + baudRate - 1) / baudRate : 0;
}

// Beyond the line's own time a write may wait for the driver and the
// scheduler.
constexpr int kWriteSlackMs = 20;

// The longest a write of `bytes` may take: their time on the line plus slack.
constexpr std::chrono::microseconds writeTimeout(std::size_t bytes, std::int32_t baudRate) {
  return std::chrono::microseconds(static_cast<std::int64_t>(bytes) * charMicros(baudRate) + kWriteSlackMs * 1000);
}

// The same as Win32 write timeouts (whole milliseconds per byte plus a
// constant). The per-byte part is rounded up: at 9600 baud one character
// takes 1.04 ms, so 1 ms per byte would give up on every long line of a
// driver that completes a write only once its bytes are sent.
struct WriteTimeouts {
  std::uint32_t perByteMs;
  std::uint32_t constantMs;
};
constexpr WriteTimeouts writeTimeouts(std::int32_t baudRate) {
  return {static_cast<std::uint32_t>((charMicros(baudRate) + 999) / 1000), static_cast<std::uint32_t>(kWriteSlackMs)};
}

}  // namespace zorvik::link
