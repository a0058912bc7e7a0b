// A front end without a toolkit around one Station, run on the test's
// thread as a window's event loop would run it: the link directory's changes
// from a real LinkWatcher, the runs' events from a queue, the pauses from
// nextDeadline. A view that writes down everything it is told. Behind the
// links: simulated loggers on pseudo-terminals, real serial code.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/event_queue.h"
#include "sim/simulated_logger.h"
#include "station/production_station.h"
#include "tests/ports/temp_dir.h"
#include "tests/support/pty_check.h"
#include "tests/support/test_support.h"

namespace zorvik::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RecordingStationView final : public station::StationView {
 public:
  // "station: LINKS | POLICY", "unit N: LINK ADAPTER", "note N: ...",
  // "result N: PASS|FAIL|UNPLUGGED|STOPPED|SKIPPED", "counters: P/F/T",
  // "gone N", "stopped: P/F/T".
  std::vector<std::string> calls;
  std::vector<station::UnitStart> starts;
  std::vector<station::UnitResult> results;
  std::vector<std::string> notes;
  std::map<int, int> explained;  // explanations of a failure per unit
  std::map<int, int> lastProgress;
  std::map<int, std::uint32_t> serials;  // as identified during the update
  std::map<int, std::uint32_t> serialsWhileProgramming;  // known at the first progress of the image
  std::vector<int> gone;

  void stationStarted(const station::StationStart& s) override {
    calls.push_back("station: " + s.links + " | " + s.imagePolicy);
  }
  void unitStarted(const station::UnitStart& u) override {
    starts.push_back(u);
    calls.push_back("unit " + std::to_string(u.unit) + ": " + u.link + " " + u.adapter);
  }
  void unitNote(int unit, const std::string& text) override {
    notes.push_back(text);
    calls.push_back("note " + std::to_string(unit) + ": " + text);
  }
  void unitExplain(int unit, const std::string& reason, const std::string& fix) override {
    if (!reason.empty() && !fix.empty()) ++explained[unit];
  }
  void unitProgress(int unit, int percent) override {
    lastProgress[unit] = percent;
    if (percent > 0 && !serialsWhileProgramming.contains(unit)) serialsWhileProgramming[unit] = serials[unit];
  }
  void unitIdentified(int unit, const engine::RunSummary& s) override { serials[unit] = s.serialNumber; }
  void unitResult(const station::UnitResult& r) override {
    results.push_back(r);
    calls.push_back("result " + std::to_string(r.unit) + ": " + station::resultWord(r.kind));
  }
  void countersChanged(const station::Counters& c) override { calls.push_back("counters: " + text(c)); }
  void unitGone(int unit) override {
    gone.push_back(unit);
    calls.push_back("gone " + std::to_string(unit));
  }
  void stationStopped(const station::Counters& c) override { calls.push_back("stopped: " + text(c)); }

  std::size_t count(const std::string& prefix) const {
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
  }

 private:
  static std::string text(const station::Counters& c) {
    return std::to_string(c.passed) + "/" + std::to_string(c.failed) + "/" + std::to_string(c.total());
  }
};

struct UnitEvent {
  int unit;
  engine::RunEvent event;
};

// The units' events, for the test's thread to hand to the station.
class QueueStationSink final : public station::StationSink, public engine::EventQueue<UnitEvent> {
 public:
  void post(int unit, engine::RunEvent event) noexcept override { push({unit, std::move(event)}); }
};

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = ptyUnavailableReason(); !reason.empty()) GTEST_SKIP() << reason;
    fs::create_directory(watchDir());
  }

  fs::path watchDir() const { return dir_.path() / "watch"; }

  station::StationSetup setup(station::LinkChoice links = station::LinkChoice::everyLink()) {
    station::StationSetup s;
    s.watchDir = watchDir();
    s.links = std::move(links);
    s.imagePolicy = "the built-in image that fits each logger";
    s.sleeper = std::make_shared<link::NoPauses>();
    s.repeatPause = 0ms;
    s.sink = sink;
    return s;
  }

  // The station with the given setup, begun, watching the directory.
  void begin(station::StationSetup s) {
    station = std::make_unique<station::Station>(std::move(s), view);
    watcher = std::make_unique<ports::LinkWatcher>(watchDir());
    station->begin();
    station->linksChanged(watcher->changes());
  }

  sim::SimulatedLogger& logger(const sim::LoggerConfig& config) {
    loggers.push_back(std::make_unique<sim::SimulatedLogger>(config));
    if (!loggers.back()->start()) ADD_FAILURE() << "no pseudo-terminal";
    return *loggers.back();
  }
  void plug(const sim::SimulatedLogger& l, const std::string& name) {
    fs::create_symlink(l.devicePath(), watchDir() / name);
  }
  void unplug(const std::string& name) { fs::remove(watchDir() / name); }

  // One turn of the front end's loop: link changes, then the runs' events
  // for up to `slice`, then the pauses that are over.
  void turn(std::chrono::milliseconds slice = 10ms) {
    pollfd fd{watcher->fd(), POLLIN, 0};
    if (::poll(&fd, 1, 0) > 0) station->linksChanged(watcher->changes());
    const auto until = std::chrono::steady_clock::now() + slice;
    while (std::chrono::steady_clock::now() < until) {
      const auto item = sink->takeWithin(slice);
      if (!item) break;
      station->unitEvent(item->unit, item->event);
    }
    if (const auto due = station->nextDeadline(); due && *due <= std::chrono::steady_clock::now()) {
      station->timePassed();
    }
  }

  // Turns the loop until `condition` holds; false when it did not within the limit.
  bool runUntil(const std::function<bool()>& condition, std::chrono::seconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      turn();
    }
    return true;
  }

  static std::size_t count(const sim::SimulatedLogger& l, sim::Request kind) {
    const auto r = l.requests();
    return static_cast<std::size_t>(std::count(r.begin(), r.end(), kind));
  }

  ports::TempDir dir_;
  RecordingStationView view;
  std::shared_ptr<QueueStationSink> sink = std::make_shared<QueueStationSink>();
  std::unique_ptr<ports::LinkWatcher> watcher;
  std::vector<std::unique_ptr<sim::SimulatedLogger>> loggers;
  // Last, so that it goes first: its runs end before their loggers do.
  std::unique_ptr<station::Station> station;
};

}  // namespace zorvik::testing
