// The link against the simulated logger through the real serial code: a Link
// whose port is the real one wrapped in a decorator that notes what was asked
// of it, so the tests can see the calls and still read the port themselves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/cancel_token.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/sleeper.h"
#include "link/exchange_error.h"
#include "sim/simulated_logger.h"
#include "tests/support/pty_check.h"
#include "tests/support/recording_sleeper.h"

namespace zorvik::testing {

class CountingPort final : public link::SerialPort {
 public:
  explicit CountingPort(link::PortHandle inner) : inner_(std::move(inner)) {}
  bool clearErrors() override { return inner_->clearErrors(); }
  bool purgeInput() override { return inner_->purgeInput(); }
  bool write(const std::uint8_t* data, std::size_t count, std::size_t& written) override {
    writes_.push_back(count);
    return inner_->write(data, count, written);
  }
  bool read(std::uint8_t* data, std::size_t count, std::size_t& received) override {
    reads_.push_back(count);
    return inner_->read(data, count, received);
  }
  bool close() override { return inner_->close(); }

  // Bytes handed to each write and asked of each read.
  const std::vector<std::size_t>& writes() const { return writes_; }
  const std::vector<std::size_t>& reads() const { return reads_; }
  void forget() {
    writes_.clear();
    reads_.clear();
  }

 private:
  link::PortHandle inner_;
  std::vector<std::size_t> writes_;
  std::vector<std::size_t> reads_;
};

// A link on a real port, with the port's calls counted. The port belongs to
// the link; port() stays valid until the link closes it.
class CountingLink final : public link::Link {
 public:
  using link::Link::Link;

  bool open(const std::string& path) {
    link::PortHandle real = link::openSerialPort(path, 9600);
    if (!real) return false;
    auto counting = std::make_unique<CountingPort>(std::move(real));
    port_ = counting.get();
    attachPort(std::move(counting));
    return true;
  }
  void close() {
    closePort();
    port_ = nullptr;
  }
  CountingPort& port() { return *port_; }

 private:
  CountingPort* port_ = nullptr;
};

// A simulated logger and a link opened on it, with the pauses recorded and a
// cancel token of the test's own.
class SimLinkFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = ptyUnavailableReason(); !why.empty()) GTEST_SKIP() << why;
  }

  // A fresh logger, and the link's port on it (any earlier port closed).
  void connect(const sim::LoggerConfig& config = {}) {
    link_.close();
    logger_ = std::make_unique<sim::SimulatedLogger>(config);
    ASSERT_TRUE(logger_->start());
    ASSERT_TRUE(link_.open(logger_->devicePath()));
  }

  // What reached the logger before now, our probe left out. A query of our
  // own goes after whatever the link sent: the simulator handles its input in
  // order, so once the query is answered everything before it has been seen.
  // Closes the link's port.
  struct Seen {
    std::vector<sim::Request> requests;
    std::uint64_t bytes = 0;
  };
  Seen seenBeforeProbe() {
    link_.close();
    link::NoPauses noPauses;
    link::Link probe(noPauses, link::CancelToken());
    probe.attachPort(link::openSerialPort(logger_->devicePath(), 9600));
    EXPECT_TRUE(probe.hasPort());
    EXPECT_EQ(errorOf([&] { probe.sendCommand(true, 1); }), std::nullopt) << "the logger did not answer the probe";
    probe.closePort();
    Seen seen{logger_->requests(), logger_->bytesReceived()};
    if (!seen.requests.empty()) seen.requests.pop_back();
    seen.bytes -= std::min<std::uint64_t>(seen.bytes, 8);
    return seen;
  }

  int count(sim::Request kind) const {
    int n = 0;
    for (const auto r : logger_->requests()) n += r == kind ? 1 : 0;
    return n;
  }

  // What the LinkError `action` throws says: its code and the way the last
  // attempt failed. Nullopt when it returns.
  struct Thrown {
    int code;
    link::FailureKind failure;
    friend bool operator==(const Thrown&, const Thrown&) = default;
    friend void PrintTo(const Thrown& t, std::ostream* os) { *os << t.code << "/" << static_cast<int>(t.failure); }
  };
  static std::optional<Thrown> thrownBy(const std::function<void()>& action) {
    try {
      action();
    } catch (const link::LinkError& e) {
      return Thrown{static_cast<int>(e.error()), e.failure()};
    }
    return std::nullopt;
  }

  // The code of the LinkError `action` throws, or nullopt when it returns.
  static std::optional<int> errorOf(const std::function<void()>& action) {
    const auto thrown = thrownBy(action);
    return thrown ? std::optional<int>(thrown->code) : std::nullopt;
  }

  std::unique_ptr<sim::SimulatedLogger> logger_;
  RecordingSleeper sleeper_;
  link::CancelToken cancel_;
  CountingLink link_{sleeper_, cancel_};
};

}  // namespace zorvik::testing
