#include "link/file_trace.h"

#include <stdexcept>

namespace zorvik::link {
namespace {

// The longest cut line: three 20-digit numbers in the fixed text. Every
// other line must leave this much room, so the cut line always fits.
constexpr std::size_t kCutLineReserve = 160;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Notes are one line each: a line break or another control character inside
// one would break the line structure that readers rely on.
std::string oneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

}  // namespace

std::string traceHex(const std::uint8_t* data, std::size_t count) {
  std::string out;
  out.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out.push_back(' ');
    out.push_back(kHexDigits[data[i] >> 4]);
    out.push_back(kHexDigits[data[i] & 0x0F]);
  }
  return out;
}

FileTrace::FileTrace(const std::string& path, std::size_t limitBytes, Clock clock)
    : limit_(limitBytes), clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })) {
  if (limit_ < kMinimumLimitBytes) {
    throw std::invalid_argument("trace limit of " + std::to_string(limit_) + " bytes is below the minimum of " +
                                std::to_string(kMinimumLimitBytes));
  }
  // Binary: the byte count that bounds the file is the count on disk, with
  // no line ending translated.
  file_.open(path, std::ios::binary | std::ios::trunc);
  if (!file_) throw std::runtime_error("cannot create the trace file " + path);
  start_ = clock_();
  put(std::string(kTraceHeader) + "\n");
}

void FileTrace::written(const std::uint8_t* data, std::size_t count) { append('>', traceHex(data, count)); }

void FileTrace::received(const std::uint8_t* data, std::size_t count) { append('<', traceHex(data, count)); }

void FileTrace::note(const std::string& text) { append('#', oneLine(text)); }

std::size_t FileTrace::size() const {
  std::lock_guard lock(mutex_);
  return size_;
}

bool FileTrace::cut() const {
  std::lock_guard lock(mutex_);
  return cut_;
}

void FileTrace::append(char direction, const std::string& payload) {
  std::lock_guard lock(mutex_);
  if (cut_ || failed_) return;
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(clock_() - start_).count();
  const std::string time = std::to_string(micros < 0 ? 0 : micros);
  std::string line = time + ' ' + direction;
  if (!payload.empty()) line += ' ' + payload;
  line += '\n';
  if (size_ + line.size() + kCutLineReserve <= limit_) {
    put(line);
    return;
  }
  cut_ = true;
  put(time + " ! cut: limit of " + std::to_string(limit_) + " bytes reached after " + std::to_string(size_) +
      " bytes; nothing after this was recorded\n");
}

void FileTrace::put(const std::string& line) {
  file_.write(line.data(), static_cast<std::streamsize>(line.size()));
  file_.flush();
  if (!file_) {
    failed_ = true;
    return;
  }
  size_ += line.size();
}

}  // namespace zorvik::link
