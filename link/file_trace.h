// A line trace written to a text file, for support to read and for the
// simulated logger to replay (zorvik-logger-sim --replay). The format is
// documented in docs/trace-format.md; in short:
//
//   zorvik-line-trace 1
//   45 # open /dev/ttyUSB0
//   160 > 00 00 00 00 00 00 00 00
//   202 > 81 00 00 00 00 00 00 AA
//   206 < 01 00 66 01 06 1A 00 E5
//   209 # event 20 26113
//   ...
//   1204877 > 3A 30 31 30 30 30 30 30 35 32 30 44 41
//   1408950 <
//   ...
//   8391002 ! cut: limit of 8388608 bytes reached after 8388463 bytes; nothing after this was recorded
//
// Each line is written and flushed at once, so a process that is killed
// leaves a file that reads up to its last exchange. The file never grows past
// its limit: the beginning is kept (the start of a failed update says most
// about it) and one final line says where and when the trace was cut.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>

#include "link/line_trace.h"

namespace zorvik::link {

// The first line of every trace file: the format's name and version.
inline constexpr char kTraceHeader[] = "zorvik-line-trace 1";

// "00 1F A0": two upper-case digits per byte, one space between bytes;
// empty for no bytes.
std::string traceHex(const std::uint8_t* data, std::size_t count);

class FileTrace final : public LineTrace {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr std::size_t kDefaultLimitBytes = std::size_t{8} * 1024 * 1024;
  // Room for the header and the final cut line.
  static constexpr std::size_t kMinimumLimitBytes = 256;

  // Creates (or empties) the file and writes the header line. Time zero is
  // the moment of construction on `clock` (steady_clock::now when none is
  // given; tests give their own). Throws std::invalid_argument for a limit
  // below kMinimumLimitBytes and std::runtime_error, naming the file, when it
  // cannot be created.
  explicit FileTrace(const std::string& path, std::size_t limitBytes = kDefaultLimitBytes, Clock clock = nullptr);

  void written(const std::uint8_t* data, std::size_t count) override;
  void received(const std::uint8_t* data, std::size_t count) override;
  void note(const std::string& text) override;

  // Bytes in the file so far, header and cut line included.
  std::size_t size() const;
  // Whether the limit was reached (the cut line is written, nothing follows).
  bool cut() const;

 private:
  void append(char direction, const std::string& payload);
  void put(const std::string& line);

  // A write to the file that fails (a full disk) ends the trace quietly:
  // the trace must never be the reason an update fails.
  mutable std::mutex mutex_;  // repeats of one update hand the trace from thread to thread
  std::ofstream file_;
  std::size_t limit_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  std::size_t size_ = 0;
  bool cut_ = false;
  bool failed_ = false;
};

}  // namespace zorvik::link
