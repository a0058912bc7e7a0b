// The update thread against whatever a logger (or a broken cable) may send.
// A fake serial port answers every read from the fuzzer's bytes; the worker
// runs its real body, Execute(), which must catch everything and end the run
// with exactly one final event, posted after the port was closed.
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
#include <string>
#include <vector>

#include "catalogue.h"
#include "comm_thread.h"
#include "events.h"
#include "run_options.h"
#include "serial_port.h"
#include "zorvik_comm_thread.h"

using namespace zorvik;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

class NoPause final : public Sleeper {
 public:
  void sleepMs(int) override {}
};

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

  bool clearCommError() override { return !state_.closed; }
  bool purgeComm() override { return !state_.closed; }
  bool writeFile(const std::uint8_t* data, std::size_t count, std::size_t& written) override {
    check(!state_.closed);
    state_.lastWritten.assign(data, data + count);
    written = count;
    return true;
  }
  bool readFile(std::uint8_t* data, std::size_t count, std::size_t& received) override {
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
  void post(std::uint32_t code, std::int32_t value) noexcept override {
    check(finals == 0);  // nothing after the final event
    if (isFinalEvent(code)) {
      ++finals;
      check(port_.closed);
      finalCode = code;
      finalValue = value;
    }
  }
  int finals = 0;
  std::uint32_t finalCode = 0;
  std::int32_t finalValue = 0;

 private:
  const PortState& port_;
};

class FuzzWorker final : public TZorvikCommThread {
 public:
  FuzzWorker(RunContext context, Input& input, PortState& state)
      : TZorvikCommThread(std::move(context), tCMD0, "fuzz"), input_(input), state_(state) {}

 protected:
  PortHandle openPort() override { return std::make_unique<FuzzPort>(input_, state_); }

 private:
  Input& input_;
  PortState& state_;
};

void applyOptions(std::uint8_t options) {
  CancelRequested = false;
  OptCheckClass = (options & 1) == 0;
  OptCheckFirmwareClass = (options & 2) == 0;
  OptCheckPlatform = (options & 4) == 0;
  ReadInfoOnly = (options & 8) != 0;
  SelectedImage = -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  applyOptions(input.byte());
  PortState port;
  NoPause noPause;
  auto sink = std::make_shared<FinalEventSink>(port);
  {
    FuzzWorker worker(RunContext{sink, std::make_shared<UpdateMemory>(), &noPause}, input, port);
    worker.Execute();
  }
  check(sink->finals == 1);
  check(port.closed);
  // Run a single input with ZORVIK_FUZZ_TRACE set to see how it ended.
  static const bool trace = std::getenv("ZORVIK_FUZZ_TRACE") != nullptr;
  if (trace) std::fprintf(stderr, "final event %u, value %d\n", sink->finalCode, sink->finalValue);
  // A success means the logger answered the restart check with the class of
  // the image that was chosen and sent.
  if (sink->finalCode == kEvSuccess) check(SelectedImage.load() >= 1);
  return 0;
}
