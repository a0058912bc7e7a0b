// The update thread against whatever a logger (or a broken cable) may send.
// A fake serial port answers every read from the fuzzer's bytes; the update
// procedure runs in place through its real frame, execute(), which must catch
// everything and end the run with exactly one final event, posted after the
// port was closed.
//
// Input: an option byte, then per read one control byte and its bytes:
//   0xFF        the read call fails
//   0xFE        the port hands back what was last written (an echoing line)
//   0xC0-0xFD   a short read of (control - 0xC0) bytes
//   otherwise   a full read of the requested count
// When the input runs out every read times out with nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/events.h"
#include "engine/logger_update.h"
#include "engine/run_request.h"
#include "images/catalogue.h"
#include "link/serial_port.h"
#include "link/sleeper.h"

using namespace zorvik::engine;
using namespace zorvik::images;
using namespace zorvik::link;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
  std::size_t take(std::uint8_t* out, std::size_t count) {
    const std::size_t n = std::min(count, size_ - pos_);
    std::copy_n(data_ + pos_, n, out);
    pos_ += n;
    return n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

struct PortState {
  bool closed = false;
  std::vector<std::uint8_t> lastWritten;
};

class FuzzPort final : public SerialPort {
 public:
  FuzzPort(Input& input, PortState& state) : input_(input), state_(state) {}

  bool clearErrors() override { return !state_.closed; }
  bool purgeInput() override { return !state_.closed; }
  bool write(const std::uint8_t* data, std::size_t count, std::size_t& written) override {
    check(!state_.closed);
    state_.lastWritten.assign(data, data + count);
    written = count;
    return true;
  }
  bool read(std::uint8_t* data, std::size_t count, std::size_t& received) override {
    check(!state_.closed);
    received = 0;
    if (input_.empty()) return true;
    const std::uint8_t control = input_.byte();
    if (control == 0xFF) return false;
    if (control == 0xFE) {
      received = std::min(count, state_.lastWritten.size());
      std::copy_n(state_.lastWritten.begin(), received, data);
      return true;
    }
    const std::size_t wanted = control >= 0xC0 ? std::min<std::size_t>(count, control - 0xC0u) : count;
    received = input_.take(data, wanted);
    return true;
  }
  bool close() override {
    state_.closed = true;
    return true;
  }

 private:
  Input& input_;
  PortState& state_;
};

class FinalEventSink final : public EventSink {
 public:
  explicit FinalEventSink(const PortState& port) : port_(port) {}
  void post(RunEvent event) noexcept override {
    check(finals == 0);  // nothing after the final event
    if (event.code == kEvCandidate) lastCandidate = event.value;
    if (isFinalEvent(event.code)) {
      ++finals;
      check(port_.closed);
      finalCode = event.code;
      finalValue = event.value;
      finalImage = std::move(event.image);
    }
  }
  int finals = 0;
  std::uint32_t finalCode = 0;
  std::int32_t finalValue = 0;
  std::optional<ImageHeader> finalImage;
  int lastCandidate = -1;  // selection stops at the image it chooses

 private:
  const PortState& port_;
};

class FuzzWorker final : public LoggerUpdate {
 public:
  FuzzWorker(RunRequest request, std::shared_ptr<EventSink> sink, Input& input, PortState& state)
      : LoggerUpdate(std::move(request), std::move(sink)), input_(input), state_(state) {}

 protected:
  PortHandle openPort() override { return std::make_unique<FuzzPort>(input_, state_); }

 private:
  Input& input_;
  PortState& state_;
};

RunOptions optionsFrom(std::uint8_t bits) {
  RunOptions options;
  options.checkClass = (bits & 1) == 0;
  options.checkFirmwareClass = (bits & 2) == 0;
  options.checkPlatform = (bits & 4) == 0;
  options.readInfoOnly = (bits & 8) != 0;
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  RunRequest request;
  request.port = "fuzz";
  request.options = optionsFrom(input.byte());
  request.sleeper = std::make_shared<NoPauses>();
  PortState port;
  auto sink = std::make_shared<FinalEventSink>(port);
  {
    FuzzWorker worker(std::move(request), sink, input, port);
    worker.execute();
  }
  check(sink->finals == 1);
  check(port.closed);
  // Run a single input with ZORVIK_FUZZ_TRACE set to see how it ended.
  static const bool trace = std::getenv("ZORVIK_FUZZ_TRACE") != nullptr;
  if (trace) std::fprintf(stderr, "final event %u, value %d\n", sink->finalCode, sink->finalValue);
  // A success means the logger answered the restart check with the class of
  // the image that was chosen and sent: a built-in image, named in the event.
  if (sink->finalCode == kEvSuccess) {
    check(sink->lastCandidate >= 1 && sink->lastCandidate <= kBuiltInImageCount);
    check(sink->finalImage == builtInHeader(sink->lastCandidate));
  }
  return 0;
}
