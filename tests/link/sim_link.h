// The link against the simulated logger through the real serial code: a
// LinkBase that exposes its port and buffers to the tests, and a decorator
// around the real port that notes what was asked of it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link.h"
#include "recording_sleeper.h"
#include "qorn_exception.h"
#include "serial_port.h"
#include "simulated_logger.h"

namespace zorvik::testing {

class CountingPort final : public SerialPort {
 public:
  explicit CountingPort(PortHandle inner) : inner_(std::move(inner)) {}
  bool clearCommError() override { return inner_->clearCommError(); }
  bool purgeComm() override { return inner_->purgeComm(); }
  bool writeFile(const std::uint8_t* data, std::size_t count, std::size_t& written) override {
    writes.push_back(count);
    return inner_->writeFile(data, count, written);
  }
  bool readFile(std::uint8_t* data, std::size_t count, std::size_t& received) override {
    reads.push_back(count);
    return inner_->readFile(data, count, received);
  }
  bool close() override { return inner_->close(); }

  std::vector<std::size_t> writes;  // bytes handed to each write
  std::vector<std::size_t> reads;   // bytes asked of each read

 private:
  PortHandle inner_;
};

class TestLink : public LinkBase {
 public:
  using LinkBase::LinkBase;
  using LinkBase::FhPort;
  using LinkBase::FRxBuffer;
  using LinkBase::FRxCnt;

  bool open(const std::string& path) {
    FhPort = rs232Open(path, 9600);
    return FhPort != nullptr;
  }
  CountingPort& countCalls() {
    auto counting = std::make_unique<CountingPort>(std::move(FhPort));
    CountingPort& ref = *counting;
    FhPort = std::move(counting);
    return ref;
  }
};

// A simulated logger and a link opened on it, with the pauses recorded.
class SimLinkFixture : public ::testing::Test {
 protected:
  void SetUp() override { CancelRequested = false; }
  void TearDown() override {
    CancelRequested = false;
    if (link.FhPort) rs232Close(link.FhPort);
  }

  void connect(const sim::LoggerConfig& config = {}) {
    logger = std::make_unique<sim::SimulatedLogger>(config);
    ASSERT_TRUE(logger->start());
    ASSERT_TRUE(link.open(logger->devicePath()));
  }

  int count(sim::Request kind) const {
    int n = 0;
    for (const auto r : logger->requests()) n += r == kind ? 1 : 0;
    return n;
  }

  // The EQorn code `action` raises, or nullopt when it returns.
  static std::optional<int> errorOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const EQorn& e) {
      return e.iException;
    }
    return std::nullopt;
  }

  std::unique_ptr<sim::SimulatedLogger> logger;
  RecordingSleeper sleeper;
  TestLink link{sleeper};
};

}  // namespace zorvik::testing
