// A front end without a toolkit around one UpdateSession: a view that writes
// down everything it is told in order, and a loop that hands the runs'
// events back on the test's thread, as the window's event loop would. The
// runs are real (real serial code, the simulated logger on a pseudo-terminal).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/event_queue.h"
#include "session/update_session.h"
#include "sim/simulated_logger.h"

namespace zorvik::testing {

class RecordingView final : public session::SessionView {
 public:
  // "report: ...", "note: ...", "status: ...", "progress: N", "title: ...",
  // "message: ...", "beep", "controls: running|idle", "pause: N".
  std::vector<std::string> calls;
  std::vector<session::LineProgress> lines;  // every setLineProgress, apart from `calls`
  std::function<void(std::chrono::milliseconds)> onPause;

  void report(const std::string& text) override { calls.push_back("report: " + text); }
  void note(const std::string& text) override { calls.push_back("note: " + text); }
  void setStatus(const std::string& text) override { calls.push_back("status: " + text); }
  void setProgress(int percent) override { calls.push_back("progress: " + std::to_string(percent)); }
  void setLineProgress(const session::LineProgress& progress) override { lines.push_back(progress); }
  void setTaskbarTitle(const std::string& title) override { calls.push_back("title: " + title); }
  void setCaption(const std::string& caption) override { calls.push_back("caption: " + caption); }
  void showMessage(const std::string& text) override { calls.push_back("message: " + text); }
  void beep() override { calls.push_back("beep"); }
  void showControls(const session::Controls& c) override {
    calls.push_back(c == session::controlsFor(true) ? "controls: running" : "controls: idle");
  }
  void startPause(std::chrono::milliseconds pause) override {
    calls.push_back("pause: " + std::to_string(pause.count()));
    if (onPause) onPause(pause);
  }
  // Only a hint given: taking one back is no drawing of its own here.
  void portHint(const session::Explanation& hint) override {
    if (!hint.empty()) calls.push_back("hint: " + hint.reason + ": " + hint.fix);
  }

  // The calls that start with `prefix`, without it.
  std::vector<std::string> withPrefix(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls) {
      if (c.rfind(prefix, 0) == 0) out.push_back(c.substr(prefix.size()));
    }
    return out;
  }
};

// The run's events, for the test's thread to hand to the session.
class QueueSink final : public engine::EventSink, public engine::EventQueue<engine::RunEvent> {
 public:
  void post(engine::RunEvent event) noexcept override { push(std::move(event)); }
};

class SessionTest : public ::testing::Test {
 protected:
  void startLogger(const sim::LoggerConfig& config = {}) {
    logger = std::make_unique<sim::SimulatedLogger>(config);
    if (!logger->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  }

  void makeSession(int maxRepeats = -1) {
    session::SessionSetup setup;
    setup.sink = sink;
    setup.maxRepeats = maxRepeats;
    if (clock) setup.clock = clock;
    session = std::make_unique<session::UpdateSession>(view, std::move(setup));
  }

  engine::RunRequest request() const {
    engine::RunRequest r;
    r.port = logger ? logger->devicePath() : "/dev/zorvik-no-such-port";
    r.sleeper = std::make_shared<link::NoPauses>();
    return r;
  }

  // Hands events to the session until the update has ended; a pause the
  // session asks for is over at once (its length is in the view's calls).
  // False when the update did not end within the limit.
  bool runToEnd(std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (session->running() && std::chrono::steady_clock::now() < deadline) {
      if (session->pausing()) {
        session->pauseOver();
        continue;
      }
      if (const auto event = sink->takeWithin(std::chrono::milliseconds(100))) session->handleEvent(*event);
    }
    return !session->running();
  }

  std::size_t count(sim::Request kind) const {
    std::size_t n = 0;
    for (const auto r : logger->requests()) n += r == kind ? 1 : 0;
    return n;
  }

  RecordingView view;
  std::function<session::TimeLeft::Clock::time_point()> clock;  // null: the session's own
  std::shared_ptr<QueueSink> sink = std::make_shared<QueueSink>();
  std::unique_ptr<session::UpdateSession> session;
  std::unique_ptr<sim::SimulatedLogger> logger;
};

}  // namespace zorvik::testing
