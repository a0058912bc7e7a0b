// The waiting loop of a front end without an event loop (the command line's):
// it sleeps on the link directory and the interrupt, feeds the station on
// one thread, and returns once the station has stopped and its runs ended.
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "sim/logger_for_image.h"
#include "station/station_loop.h"
#include "tests/station/station_harness.h"

namespace zorvik::testing {
namespace {

// The recording view behind a lock: the loop's thread draws, the test reads.
class LockedView final : public station::StationView {
 public:
  template <class F>
  auto read(F f) {
    std::lock_guard lock(mutex_);
    return f(view_);
  }
  void stationStarted(const station::StationStart& s) override { locked([&] { view_.stationStarted(s); }); }
  void unitStarted(const station::UnitStart& u) override { locked([&] { view_.unitStarted(u); }); }
  void unitNote(int unit, const std::string& text) override { locked([&] { view_.unitNote(unit, text); }); }
  void unitResult(const station::UnitResult& r) override { locked([&] { view_.unitResult(r); }); }
  void countersChanged(const station::Counters& c) override { locked([&] { view_.countersChanged(c); }); }
  void unitGone(int unit) override { locked([&] { view_.unitGone(unit); }); }
  void stationStopped(const station::Counters& c) override { locked([&] { view_.stationStopped(c); }); }

 private:
  template <class F>
  void locked(F f) {
    std::lock_guard lock(mutex_);
    f();
  }
  std::mutex mutex_;
  RecordingStationView view_;
};

class StationLoopTest : public StationTest {
 protected:
  void TearDown() override {
    if (thread_.joinable()) {
      loop_->stop();
      thread_.join();
    }
  }

  void startLoop(int interruptFd = -1) {
    loop_ = std::make_unique<station::StationLoop>(watchDir(), interruptFd);
    station::StationSetup s = setup();
    s.sink = loop_->sink();
    thread_ = std::thread([this, s] {
      station::Station station(s, locked_);
      loop_->run(station);
    });
  }

  bool waitFor(const std::function<bool(RecordingStationView&)>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!locked_.read(condition)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  LockedView locked_;
  std::unique_ptr<station::StationLoop> loop_;
  std::thread thread_;
};

TEST_F(StationLoopTest, AnIdleLoopSleepsUntilStoppedAndThenSaysSoOnce) {
  startLoop();
  ASSERT_TRUE(waitFor([](RecordingStationView& v) { return v.count("station: ") == 1; }));
  loop_->stop();
  thread_.join();
  const auto calls = locked_.read([](RecordingStationView& v) { return v.calls; });
  EXPECT_EQ(calls, (std::vector<std::string>{"station: every port link | the built-in image that fits each logger",
                                             "stopped: 0/0/0"}));
}

TEST_F(StationLoopTest, UpdatesWhatIsPluggedInAndEndsOnTheInterrupt) {
  int interrupt[2];
  ASSERT_EQ(::pipe(interrupt), 0);
  startLoop(interrupt[0]);
  sim::LoggerConfig config = sim::loggerFor(9);
  config.serialNumber = 900009;
  sim::SimulatedLogger& l = logger(config);
  plug(l, "usb-FTDI_FT232R_USB_UART_LOOP1-if00-port0");
  ASSERT_TRUE(waitFor([](RecordingStationView& v) { return v.results.size() == 1; }));
  unplug("usb-FTDI_FT232R_USB_UART_LOOP1-if00-port0");
  ASSERT_TRUE(waitFor([](RecordingStationView& v) { return v.gone.size() == 1; }));
  const char byte = 1;
  ASSERT_EQ(::write(interrupt[1], &byte, 1), 1);
  thread_.join();
  ::close(interrupt[0]);
  ::close(interrupt[1]);

  const auto calls = locked_.read([](RecordingStationView& v) { return v.calls; });
  EXPECT_EQ(calls, (std::vector<std::string>{"station: every port link | the built-in image that fits each logger",
                                             "unit 1: usb-FTDI_FT232R_USB_UART_LOOP1-if00-port0 LOOP1",
                                             "result 1: PASS", "counters: 1/0/1", "gone 1", "stopped: 1/0/1"}));
  const auto result = locked_.read([](RecordingStationView& v) { return v.results.at(0); });
  EXPECT_EQ(result.serialNumber, 900009u);
  EXPECT_EQ(l.restarts(), 1);
}

}  // namespace
}  // namespace zorvik::testing
