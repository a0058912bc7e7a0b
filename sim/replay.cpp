// The replay: a reader of trace files (docs/trace-format.md), the model that
// matches requests against them, and the pseudo-terminal shell around it.
//
// The reader is written from the format's document, not from the trace
// writer's code (link/file_trace.*), so a writer that drifts from the
// document shows up as a trace that does not replay.
#include "sim/replay.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <utility>

#include "sim/pty_shell.h"

namespace zorvik::sim {
namespace {

constexpr std::string_view kFormatName = "zorvik-line-trace";
constexpr std::string_view kFormatVersion = "1";
// What the updater's port decorator notes when a read or write call fails.
constexpr std::string_view kReadFailedNote = "read failed";
constexpr std::string_view kWriteFailedNote = "write failed";
// The note that starts each run: the port is opened anew.
constexpr std::string_view kOpenNotePrefix = "open ";
// Bytes shown of a request in a message; a data line fits.
constexpr std::size_t kShownBytes = 64;

std::string hexText(std::string_view bytes) {
  constexpr char digits[] = "0123456789ABCDEF";
  std::string out;
  const std::size_t shown = std::min(bytes.size(), kShownBytes);
  for (std::size_t i = 0; i < shown; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (i > 0) out.push_back(' ');
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0x0F]);
  }
  if (bytes.size() > shown) out += " ...";
  if (bytes.empty()) out = "nothing";
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "3A 30 31": pairs of hex digits, one space apart; nullopt if malformed.
std::optional<std::string> parseHexBytes(std::string_view text) {
  std::string bytes;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!bytes.empty()) {
      if (text[i] != ' ') return std::nullopt;
      ++i;
    }
    if (i + 2 > text.size()) return std::nullopt;
    const int high = hexValue(text[i]);
    const int low = hexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return bytes;
}

ReplayScriptResult failure(std::size_t line, const std::string& why) {
  return {std::nullopt, "trace line " + std::to_string(line) + ": " + why};
}

}  // namespace

ReplayScriptResult readReplayScript(std::istream& in) {
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string_view> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t end = text.find('\n', begin);
    // A last line without its line break was being written when the writer
    // died: it is not trusted.
    if (end == std::string::npos) break;
    std::string_view line(text.data() + begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // a copy that went through Windows
    lines.push_back(line);
    begin = end + 1;
  }
  if (lines.empty()) return {std::nullopt, "the trace is empty"};
  const std::string_view header = lines[0];
  if (header.substr(0, kFormatName.size() + 1) != std::string(kFormatName) + " ") {
    return failure(1, "not a line trace: the first line must be \"" + std::string(kFormatName) + " " +
                          std::string(kFormatVersion) + "\"");
  }
  if (header.substr(kFormatName.size() + 1) != kFormatVersion) {
    return failure(1, "format version " + std::string(header.substr(kFormatName.size() + 1)) +
                          "; this simulator reads version " + std::string(kFormatVersion));
  }

  ReplayScript script;
  // The exchange that reads and failures belong to, and what is known of its timing.
  // (Plain values rather than optionals: GCC 12 sees those as maybe uninitialised.)
  constexpr std::size_t kNoExchange = static_cast<std::size_t>(-1);
  std::size_t current = kNoExchange;
  std::uint64_t writeTime = 0;
  bool silenceHeard = false;  // an empty read since the request
  std::uint64_t silenceEnd = 0;
  std::uint64_t previousTime = 0;
  for (std::size_t index = 1; index < lines.size(); ++index) {
    const std::size_t lineNumber = index + 1;
    const std::string_view line = lines[index];
    if (line.empty()) continue;
    if (script.cutLine != 0) return failure(lineNumber, "a line after the cut line");
    std::uint64_t time = 0;
    const auto [timeEnd, timeError] = std::from_chars(line.data(), line.data() + line.size(), time);
    const auto timeLength = static_cast<std::size_t>(timeEnd - line.data());
    if (timeError != std::errc() || timeLength + 2 > line.size() || line[timeLength] != ' ') {
      return failure(lineNumber, "expected \"<microseconds> <kind> ...\"");
    }
    if (time < previousTime) return failure(lineNumber, "the time goes backwards");
    previousTime = time;
    const char kind = line[timeLength + 1];
    std::string_view payload = line.substr(timeLength + 2);
    if (!payload.empty()) {
      if (payload.front() != ' ') return failure(lineNumber, "expected a space after the kind");
      payload.remove_prefix(1);
    }
    switch (kind) {
      case '>':
      case '<': {
        const auto bytes = parseHexBytes(payload);
        if (!bytes) return failure(lineNumber, "bytes must be pairs of hex digits, one space apart");
        if (kind == '>') {
          if (bytes->empty()) break;  // nothing went out: nothing to match
          script.exchanges.push_back({*bytes, {}, std::nullopt, lineNumber});
          current = script.exchanges.size() - 1;
          writeTime = time;
          silenceHeard = false;
          break;
        }
        if (current == kNoExchange) break;  // read before anything was written: answers nothing
        if (bytes->empty()) {
          silenceHeard = true;
          silenceEnd = time;
          break;
        }
        const std::chrono::microseconds after =
            silenceHeard ? std::chrono::microseconds(silenceEnd - writeTime) + kReplayLateMargin
                         : std::chrono::microseconds(0);
        auto& answer = script.exchanges[current].answer;
        if (!answer.empty() && answer.back().after == after) {
          answer.back().bytes += *bytes;
        } else {
          answer.push_back({*bytes, after});
        }
        break;
      }
      case '#':
        if ((payload == kReadFailedNote || payload == kWriteFailedNote) && current != kNoExchange &&
            !script.exchanges[current].hangUpAfter) {
          script.exchanges[current].hangUpAfter = std::chrono::microseconds(time - writeTime);
        } else if (payload.substr(0, kOpenNotePrefix.size()) == kOpenNotePrefix) {
          current = kNoExchange;  // a new run: its reads belong to its own requests
        }
        break;
      case '!':
        script.cutLine = lineNumber;
        // Its answer, or more of it, may lie beyond the cut.
        if (current != kNoExchange && current + 1 == script.exchanges.size()) script.exchanges.pop_back();
        current = kNoExchange;
        break;
      default:
        return failure(lineNumber, std::string("unknown kind '") + kind + "'");
    }
  }
  return {std::move(script), {}};
}

ReplayScriptResult loadReplayScript(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, "cannot read " + path};
  auto result = readReplayScript(in);
  if (!result.script) result.error = path + ": " + result.error;
  return result;
}

// ---- The model ------------------------------------------------------------

ReplayModel::ReplayModel(ReplayScript script) : script_(std::move(script)) {}

ReplayOutput ReplayModel::receive(std::string_view bytes, SimClock::time_point now) {
  ReplayOutput out;
  std::size_t i = 0;
  while (i < bytes.size() && !stopped_) {
    if (next_ >= script_.exchanges.size()) {
      stopped_ = true;
      out.messages.push_back(beyondMessage(bytes.substr(i)));
      break;
    }
    const ReplayExchange& exchange = script_.exchanges[next_];
    if (bytes[i] != exchange.request[arrived_]) {
      stopped_ = true;
      out.messages.push_back(differsMessage(exchange, exchange.request.substr(0, arrived_) + std::string(bytes.substr(i))));
      break;
    }
    ++i;
    if (++arrived_ == exchange.request.size()) {
      arrived_ = 0;
      ++next_;
      complete(exchange, now, out);
    }
  }
  return out;
}

void ReplayModel::complete(const ReplayExchange& exchange, SimClock::time_point now, ReplayOutput& out) {
  for (const auto& chunk : exchange.answer) out.replies.push_back({chunk.bytes, now + chunk.after});
  if (exchange.hangUpAfter) out.hangUpAt = now + *exchange.hangUpAfter;
  if (next_ == script_.exchanges.size()) {
    std::string text = "replay: all " + std::to_string(next_) + " requests of the trace met and answered as traced";
    if (script_.cutLine != 0) {
      text += "; the trace was cut at line " + std::to_string(script_.cutLine) + ", so what follows gets no answer";
    }
    out.messages.push_back(std::move(text));
  }
}

std::string ReplayModel::differsMessage(const ReplayExchange& exchange, std::string_view sent) const {
  return "replay: request " + std::to_string(next_ + 1) + " differs from the trace (line " +
         std::to_string(exchange.traceLine) + ") at byte " + std::to_string(arrived_ + 1) + ": the trace has " +
         hexText(exchange.request) + ", the updater sent " + hexText(sent) + "; answering nothing from here on";
}

std::string ReplayModel::beyondMessage(std::string_view sent) const {
  std::string text = "replay: request " + std::to_string(next_ + 1) + " goes beyond the trace, which holds " +
                     std::to_string(script_.exchanges.size()) + " requests";
  if (script_.cutLine != 0) text += " (cut at line " + std::to_string(script_.cutLine) + ")";
  return text + ": the updater sent " + hexText(sent) + "; answering nothing from here on";
}

// ---- On a pseudo-terminal ------------------------------------------------------

struct ReplayLogger::Impl {
  explicit Impl(ReplayScript script)
      : model(std::move(script)),
        shell([this](std::string_view bytes, SimClock::time_point now) { return receive(bytes, now); },
              SimClock::duration::zero()) {}

  // The traced answers carry their own timing: each arrives whole at its time.
  ShellAnswer receive(std::string_view bytes, SimClock::time_point now) {
    std::lock_guard lock(mutex);
    ReplayOutput out = model.receive(bytes, now);
    messages.insert(messages.end(), out.messages.begin(), out.messages.end());
    return ShellAnswer{std::move(out.replies), out.hangUpAt};
  }

  mutable std::mutex mutex;
  ReplayModel model;                  // guarded by mutex
  std::vector<std::string> messages;  // guarded by mutex
  PtyShell shell;                     // after the model: it calls into it until it stops
};

ReplayLogger::ReplayLogger(ReplayScript script) : impl_(std::make_unique<Impl>(std::move(script))) {}

ReplayLogger::~ReplayLogger() { stop(); }

bool ReplayLogger::start() { return impl_->shell.start(); }

void ReplayLogger::stop() { impl_->shell.stop(); }

std::string ReplayLogger::devicePath() const { return impl_->shell.devicePath(); }

std::size_t ReplayLogger::matched() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.matched();
}

std::size_t ReplayLogger::exchangeCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.exchangeCount();
}

bool ReplayLogger::stopped() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.stopped();
}

std::vector<std::string> ReplayLogger::takeMessages() {
  std::lock_guard lock(impl_->mutex);
  return std::exchange(impl_->messages, {});
}

}  // namespace zorvik::sim
