// Runs the update procedure against the simulated logger through the real
// serial code. Protocol pauses are recorded instead of slept; serial timeouts
// stay real.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "catalogue.h"
#include "comm_thread.h"
#include "engine_state.h"
#include "events.h"
#include "run_options.h"
#include "logger_for_image.h"
#include "simulated_logger.h"
#include "test_support.h"
#include "zorvik_comm_thread.h"

namespace zorvik::testing {

using sim::loggerFor;

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { resetEngineState(); }
  void TearDown() override { resetEngineState(); }

  void startLogger(const sim::LoggerConfig& config) {
    logger = std::make_unique<sim::SimulatedLogger>(config);
    if (!logger->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  }

  // One run on this thread, as the worker would do it.
  std::vector<Event> run(TCmd cmd = tCMD0, std::shared_ptr<UpdateMemory> memory = nullptr,
                         const std::string& port = "") {
    auto sink = std::make_shared<RecordingSink>();
    {
      TZorvikCommThread worker(RunContext{sink, std::move(memory), &sleeper}, cmd,
                               port.empty() ? logger->devicePath() : port);
      worker.Execute();
    }
    return sink->events();
  }

  // Frames sent without waiting for an answer may still be on their way to
  // the simulator when a run returns.
  std::vector<sim::Request> requestsAtLeast(std::size_t n) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    auto requests = logger->requests();
    while (requests.size() < n && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      requests = logger->requests();
    }
    return requests;
  }

  static std::vector<Event> withCode(const std::vector<Event>& events, std::uint32_t code) {
    std::vector<Event> out;
    std::copy_if(events.begin(), events.end(), std::back_inserter(out),
                 [&](const Event& e) { return e.code == code; });
    return out;
  }

  // The data lines of an image, in image order, as the flash must hold them.
  static std::vector<std::string> dataLines(int image) {
    std::vector<std::string> lines;
    for (int i = 0; i < GetImageLastLine(image); ++i) lines.push_back(GetImageLine(image, i));
    return lines;
  }

  RecordingSleeper sleeper;
  std::unique_ptr<sim::SimulatedLogger> logger;
};

}  // namespace zorvik::testing
