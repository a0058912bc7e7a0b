// Runs the update procedure against the simulated logger through the real
// serial code. Protocol pauses are recorded instead of slept; serial timeouts
// stay real.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/events.h"
#include "engine/logger_update.h"
#include "engine/run_request.h"
#include "images/catalogue.h"
#include "images/protocol.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "sim/logger_for_image.h"
#include "sim/simulated_logger.h"
#include "tests/support/pty_check.h"
#include "tests/support/test_support.h"

namespace zorvik::testing {

using sim::loggerFor;

// The data lines of an image in the order the logger's flash must receive
// them: every data line in image order, the vector-table lines held back to
// the end (in image order too).
inline std::vector<std::string> flashOrder(const images::ImageSource& images, int image) {
  std::vector<std::string> first;
  std::vector<std::string> last;
  for (int i = 0; i < images.lastLine(image); ++i) {
    const std::string line(images.line(image, i));
    (line.substr(3, 4) == "03DF" ? last : first).push_back(line);
  }
  first.insert(first.end(), last.begin(), last.end());
  return first;
}

// The lines the simulator wrote to its flash, in the order written.
inline std::vector<std::string> writtenLines(const sim::SimulatedLogger& logger) {
  std::vector<std::string> lines;
  for (const auto& w : logger.flashWrites()) lines.push_back(w.line);
  return lines;
}

// An image file as the updater reads it: the eight header lines, then the
// record lines.
inline void writeImageFile(const std::string& path, const images::ImageHeader& h, const std::vector<std::string>& lines) {
  std::ofstream out(path, std::ios::binary);
  out << "bootloader=" << h.bootloader << "\nbootloader version=" << h.bootloaderVersion
      << "\nclass=" << h.deviceClass << "\nversionH=" << h.versionHigh << "\nversionL=" << h.versionLow
      << "\nplatform=" << h.platform << "\nprint=" << h.print << "\ndate=" << h.date << "\n";
  for (const auto& line : lines) out << line << "\n";
}

// The image a run chose, from its events: the last candidate (27) when the
// selection found one, -1 when it did not get that far or found none.
inline int chosenImage(const std::vector<engine::RunEvent>& events) {
  const auto candidates = eventsWithCode(events, engine::kEvCandidate);
  if (candidates.empty()) return -1;
  const bool noneFits = events.back().code == engine::kEvError && events.back().value == engine::errorValue(engine::ErrorCode::NoImage);
  return noneFits ? -1 : candidates.back().value;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = ptyUnavailableReason(); !why.empty()) GTEST_SKIP() << why;
  }

  void startLogger(const sim::LoggerConfig& config) {
    logger_ = std::make_unique<sim::SimulatedLogger>(config);
    ASSERT_TRUE(logger_->start());
  }

  // A request for the logger on this test's pause recorder: built-in images,
  // the default checks, a memory of its own.
  engine::RunRequest request(const engine::RunOptions& options = {}) const {
    engine::RunRequest r;
    r.port = logger_->devicePath();
    r.options = options;
    r.sleeper = sleeper_;
    return r;
  }

  // One run on this thread, as a run's own thread would do it. The events
  // with their images stay in lastRun_.
  std::vector<Event> run(engine::RunRequest r) {
    auto sink = std::make_shared<RecordingSink>();
    {
      engine::LoggerUpdate worker(std::move(r), sink);
      worker.execute();
    }
    lastRun_ = sink->runEvents();
    return sink->events();
  }
  std::vector<Event> run(const engine::RunOptions& options = {}) { return run(request(options)); }

  // Frames sent without waiting for an answer may still be on their way to
  // the simulator when a run returns.
  std::vector<sim::Request> requestsAtLeast(std::size_t n) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    auto requests = logger_->requests();
    while (requests.size() < n && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      requests = logger_->requests();
    }
    return requests;
  }

  // Every request that reached the simulator up to now. A query of our own
  // goes after whatever a run may have sent: the simulator handles its input
  // in order, so once the query is answered everything before it has been
  // seen. The query itself is left out.
  std::vector<sim::Request> requestsSoFar() const {
    link::NoPauses noPauses;
    link::Link probe(noPauses, link::CancelToken());
    probe.attachPort(link::openSerialPort(logger_->devicePath(), 9600));
    EXPECT_TRUE(probe.hasPort());
    if (!probe.hasPort()) return logger_->requests();
    try {
      probe.sendCommand(true, 1);
    } catch (const link::LinkError& e) {
      ADD_FAILURE() << "the logger did not answer the probe: error " << static_cast<int>(e.error());
    }
    probe.closePort();
    auto requests = logger_->requests();
    if (!requests.empty()) requests.pop_back();
    return requests;
  }

  static std::vector<Event> withCode(const std::vector<Event>& events, std::uint32_t code) {
    std::vector<Event> out;
    std::copy_if(events.begin(), events.end(), std::back_inserter(out),
                 [&](const Event& e) { return e.code == code; });
    return out;
  }

  // The data lines of a built-in image, in image order.
  static std::vector<std::string> dataLines(int image) {
    const images::ImageSource images;
    std::vector<std::string> lines;
    for (int i = 0; i < images.lastLine(image); ++i) lines.emplace_back(images.line(image, i));
    return lines;
  }

  std::shared_ptr<RecordingSleeper> sleeper_ = std::make_shared<RecordingSleeper>();
  std::unique_ptr<sim::SimulatedLogger> logger_;
  std::vector<engine::RunEvent> lastRun_;
};

}  // namespace zorvik::testing
