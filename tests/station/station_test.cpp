// The station's bookkeeping with real runs behind it: loggers plugged in one
// after another and at once, one pulled out in the middle of its update, a
// port taken again only after its link went and came back, the pauses before
// repeats, stopping, and the recorder each unit gets.
#include <gtest/gtest.h>


#include "engine/event_texts.h"
#include "images/catalogue.h"
#include "images/version_text.h"
#include "link/serial_port.h"
#include "sim/logger_for_image.h"
#include "tests/station/station_harness.h"

namespace zorvik::testing {
namespace {

std::string imageVersion(int image) {
  const images::ImageHeader h = images::builtInHeader(image);
  return images::versionText(h.versionHigh, h.versionLow);
}

TEST_F(StationTest, UpdatesEachLoggerPluggedInAndReportsTheOnePulledOutAsUnplugged) {
  begin(setup());
  ASSERT_EQ(view.calls.front(), "station: every port link | the built-in image that fits each logger");
  const int images[] = {12, 9, 4};
  for (int i = 0; i < 3; ++i) {
    sim::LoggerConfig config = sim::loggerFor(images[i]);
    config.serialNumber = 700001 + static_cast<std::uint32_t>(i);
    plug(logger(config), "usb-FTDI_FT232R_USB_UART_AD" + std::to_string(i) + "-if00-port0");
    ASSERT_TRUE(runUntil([&] { return view.results.size() == static_cast<std::size_t>(i + 1); }));
  }
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.serialNumber = 700004;
  slow.wireTiming = true;
  slow.clockScale = 20;
  sim::SimulatedLogger& fourth = logger(slow);
  plug(fourth, "usb-FTDI_FT232R_USB_UART_AD3-if00-port0");
  ASSERT_TRUE(runUntil([&] { return count(fourth, sim::Request::DataLine) >= 20; }));
  EXPECT_TRUE(station->running());
  EXPECT_GT(view.lastProgress[4], 0) << "the progress of each unit is drawn";
  unplug("usb-FTDI_FT232R_USB_UART_AD3-if00-port0");
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 4; }));
  EXPECT_FALSE(station->running());

  ASSERT_EQ(view.starts.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const station::UnitResult& r = view.results[static_cast<std::size_t>(i)];
    EXPECT_TRUE(r.pass);
    EXPECT_FALSE(r.unplugged);
    EXPECT_EQ(r.unit, i + 1);
    EXPECT_EQ(r.link, "usb-FTDI_FT232R_USB_UART_AD" + std::to_string(i) + "-if00-port0");
    EXPECT_EQ(r.adapter, "AD" + std::to_string(i));
    EXPECT_EQ(r.serialNumber, 700001u + static_cast<std::uint32_t>(i));
    EXPECT_EQ(r.versionBefore, images::versionWordText(sim::loggerFor(images[i]).appVersion));
    EXPECT_EQ(r.imageVersion, imageVersion(images[i]));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.repeats, 0);
    EXPECT_EQ(loggers[static_cast<std::size_t>(i)]->restarts(), 1);
  }
  const station::UnitResult& pulled = view.results[3];
  EXPECT_FALSE(pulled.pass);
  EXPECT_TRUE(pulled.unplugged);
  EXPECT_EQ(pulled.kind, station::ResultKind::Unplugged) << "no failure of the logger";
  EXPECT_EQ(pulled.text, "adapter unplugged");
  EXPECT_EQ(pulled.code, engine::errorValue(engine::ErrorCode::Cancelled));
  EXPECT_EQ(pulled.serialNumber, 700004u);
  EXPECT_EQ(pulled.imageVersion, "-");
  EXPECT_EQ(pulled.repeats, 0) << "no repeat on a port that has gone";
  EXPECT_EQ(view.serials[4], 700004u) << "what the run read is passed on as it arrives";
  for (int unit = 1; unit <= 4; ++unit) {
    EXPECT_EQ(view.serialsWhileProgramming[unit], 700000u + static_cast<std::uint32_t>(unit))
        << "unit " << unit << ": the serial number is shown while the update runs";
  }
  EXPECT_EQ(fourth.restarts(), 0);
  EXPECT_EQ(station->counters(), (station::Counters{3, 0, 1, 0, 0}));
  EXPECT_EQ(view.calls.back(), "gone 4") << "the pulled unit's port is free at once";
  EXPECT_EQ(view.count("counters: "), 4u);
  EXPECT_EQ(view.calls[view.calls.size() - 2], "counters: 3/0/4");
  EXPECT_EQ(view.calls[view.calls.size() - 3], "result 4: UNPLUGGED");
  for (const auto& l : loggers) {
    link::PortHandle again = link::openSerialPort(l->devicePath(), 9600);
    EXPECT_NE(again, nullptr) << "every port released: " << l->devicePath();
  }
}

TEST_F(StationTest, APortIsTakenAgainOnlyAfterItsLinkWentAndCameBack) {
  begin(setup());
  sim::SimulatedLogger& first = logger(sim::loggerFor(12));
  plug(first, "unitA");
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 1; }));
  // The link stays: the updated logger is still on it, nothing starts again.
  for (int i = 0; i < 20; ++i) turn();
  EXPECT_EQ(view.starts.size(), 1u);
  EXPECT_EQ(first.restarts(), 1);

  unplug("unitA");
  ASSERT_TRUE(runUntil([&] { return view.gone.size() == 1; }));
  sim::SimulatedLogger& second = logger(sim::loggerFor(9));
  plug(second, "unitA");
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 2; }));
  EXPECT_EQ(view.starts.size(), 2u);
  EXPECT_EQ(view.starts[1].link, "unitA");
  EXPECT_TRUE(view.results[1].pass);
  EXPECT_EQ(second.restarts(), 1);

  // Replugged between two looks at the directory: the directory looks the
  // same, but it is the next logger.
  sim::SimulatedLogger& third = logger(sim::loggerFor(4));
  unplug("unitA");
  plug(third, "unitA");
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 3; }));
  EXPECT_TRUE(view.results[2].pass);
  EXPECT_EQ(third.restarts(), 1);
}

struct LinkNameCase {
  const char* name;
  station::LinkChoice links;
  const char* link;
  bool taken;
  const char* adapter;  // from the link's name
};

// The loggers' adapters as the system would describe the port behind a link:
// a USB device with the given ids (the simulated logger's pseudo-terminal
// has none, so the real description gives none).
station::LinkChoice adaptersWithUsb(ports::UsbId usb) {
  return station::LinkChoice::loggerAdapters([usb](const std::string& path) {
    ports::PortDescription port;
    port.path = path;
    port.usb = usb;
    return port;
  });
}

TEST_F(StationTest, OnlyLoggerLinksAreTakenAndTheirAdapterIsNamed) {
  using station::LinkChoice;
  const LinkNameCase cases[] = {
      {"no USB device readable: an FTDI name is taken", LinkChoice::loggerAdapters(),
       "usb-FTDI_FT232R_USB_UART_A12BC3D4-if00-port0", true, "A12BC3D4"},
      {"no USB device readable: another maker's name is not", LinkChoice::loggerAdapters(),
       "usb-Prolific_PL2303_X1-if00-port0", false, ""},
      {"the loggers' USB vendor under another maker's name", adaptersWithUsb({0x0403, 0x6015}),
       "usb-Maker_Cable_A7-if00-port0", true, "A7"},
      {"another USB vendor under an FTDI name", adaptersWithUsb({0x067b, 0x2303}),
       "usb-FTDI_FT232R_USB_UART_B1-if00-port0", false, ""},
      {"any link where every link counts", LinkChoice::everyLink(), "bench-logger", true, ""},
  };
  for (const LinkNameCase& c : cases) {
    SCOPED_TRACE(c.name);
    station.reset();
    view = RecordingStationView();
    for (const auto& entry : fs::directory_iterator(watchDir())) fs::remove(entry.path());
    begin(setup(c.links));
    sim::SimulatedLogger& l = logger(sim::loggerFor(12));
    plug(l, c.link);
    if (c.taken) {
      ASSERT_TRUE(runUntil([&] { return view.results.size() == 1; }));
      ASSERT_EQ(view.starts.size(), 1u);
      EXPECT_EQ(view.starts[0].adapter, c.adapter);
      EXPECT_EQ(view.starts[0].port, (watchDir() / c.link).string());
      EXPECT_EQ(view.results[0].adapter, c.adapter);
      EXPECT_TRUE(view.results[0].pass);
    } else {
      for (int i = 0; i < 30; ++i) turn();
      EXPECT_TRUE(view.starts.empty());
      EXPECT_TRUE(l.requests().empty()) << "the port was never opened";
    }
  }
}

TEST_F(StationTest, LinksThereAtTheStartCountAsPluggedIn) {
  sim::SimulatedLogger& waiting = logger(sim::loggerFor(12));
  plug(waiting, "early");
  begin(setup());
  ASSERT_EQ(view.starts.size(), 1u) << "taken with the first look at the directory";
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 1; }));
  EXPECT_TRUE(view.results[0].pass);
}

TEST_F(StationTest, ALinkToNothingFailsThatUnitAloneWithoutRepeats) {
  begin(setup());
  fs::create_symlink(dir_.path() / "no-such-port", watchDir() / "dangling");
  sim::SimulatedLogger& good = logger(sim::loggerFor(12));
  plug(good, "good");
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 2; }));
  const auto& dangling = view.results[0].link == "dangling" ? view.results[0] : view.results[1];
  const auto& passed = view.results[0].link == "dangling" ? view.results[1] : view.results[0];
  EXPECT_FALSE(dangling.pass);
  EXPECT_EQ(dangling.code, engine::errorValue(engine::ErrorCode::PortNotReady));
  EXPECT_EQ(dangling.repeats, 0);
  EXPECT_EQ(dangling.serialNumber, 0u);
  EXPECT_EQ(dangling.versionBefore, "?");
  EXPECT_TRUE(passed.pass);
  EXPECT_EQ(view.explained[dangling.unit], 1) << "the cause and its fix, once";
  EXPECT_EQ(view.explained.count(passed.unit), 0u);
  EXPECT_EQ(station->counters(), (station::Counters{1, 1, 0, 0, 0}));
}

TEST_F(StationTest, ASilentLoggerIsRepeatedAfterThePauseTheStationKeeps) {
  station::StationSetup s = setup();
  s.repeatPause = 50ms;
  begin(std::move(s));
  sim::SimulatedLogger& shy = logger(sim::loggerFor(12));
  shy.injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 5});
  plug(shy, "shy");
  ASSERT_TRUE(runUntil([&] { return station->nextDeadline().has_value(); }));
  EXPECT_TRUE(station->running()) << "the update stays under way through the pause";
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 1; }));
  EXPECT_TRUE(view.results[0].pass);
  EXPECT_EQ(view.results[0].repeats, 1);
  EXPECT_EQ(shy.restarts(), 1);
}

TEST_F(StationTest, StopEndsAPauseAtOnceAndTakesNoNewLogger) {
  station::StationSetup s = setup();
  s.repeatPause = std::chrono::hours(1);  // never over by itself
  begin(std::move(s));
  sim::SimulatedLogger& silent = logger(sim::loggerFor(12));
  silent.injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 1000000});
  plug(silent, "silent");
  ASSERT_TRUE(runUntil([&] { return station->nextDeadline().has_value(); }));
  station->stop();
  EXPECT_FALSE(station->running());
  EXPECT_TRUE(station->finished());
  ASSERT_EQ(view.results.size(), 1u);
  EXPECT_EQ(view.results[0].code, engine::errorValue(engine::ErrorCode::Cancelled));
  EXPECT_EQ(view.results[0].kind, station::ResultKind::Stopped);
  EXPECT_EQ(view.results[0].text, "station stopped");
  EXPECT_EQ(station->counters(), (station::Counters{0, 0, 0, 1, 0})) << "not a failure of the logger";
  EXPECT_EQ(view.calls.back(), "stopped: 0/0/1");

  plug(logger(sim::loggerFor(12)), "late");
  for (int i = 0; i < 20; ++i) turn();
  EXPECT_EQ(view.starts.size(), 1u) << "a stopped station takes no new logger";
  EXPECT_EQ(view.count("stopped: "), 1u) << "said once";
}

TEST_F(StationTest, StopDuringAnUpdateEndsItAtItsNextExchangeAndThenStops) {
  begin(setup());
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.wireTiming = true;
  slow.clockScale = 20;
  sim::SimulatedLogger& busy = logger(slow);
  plug(busy, "busy");
  ASSERT_TRUE(runUntil([&] { return count(busy, sim::Request::DataLine) >= 5; }));
  station->stop();
  EXPECT_TRUE(station->running()) << "the run ends at its next exchange, not at once";
  EXPECT_EQ(view.count("stopped: "), 0u);
  ASSERT_TRUE(runUntil([&] { return station->finished(); }));
  ASSERT_EQ(view.results.size(), 1u);
  EXPECT_FALSE(view.results[0].pass);
  EXPECT_EQ(view.results[0].code, engine::errorValue(engine::ErrorCode::Cancelled));
  EXPECT_EQ(view.results[0].kind, station::ResultKind::Stopped);
  EXPECT_EQ(view.results[0].text, "station stopped");
  EXPECT_EQ(view.results[0].imageVersion, "-") << "nothing was written";
  EXPECT_EQ(view.calls.back(), "stopped: 0/0/1");
  EXPECT_EQ(busy.restarts(), 0);
  link::PortHandle again = link::openSerialPort(busy.devicePath(), 9600);
  EXPECT_NE(again, nullptr) << "the port is released";
}

// What the station's recorders are told: each unit its own.
class RecordingRecorder final : public session::UpdateRecorder {
 public:
  struct Log {
    std::vector<std::string> entries;
    std::vector<std::string> texts;  // the result text of each ending
  };
  RecordingRecorder(std::shared_ptr<Log> log, std::optional<std::string> problem)
      : log_(std::move(log)), problem_(std::move(problem)) {}
  std::optional<std::string> updateStarted(const engine::RunRequest& request) override {
    log_->entries.push_back("start " + request.port + " " + request.adapterSerial);
    return problem_;
  }
  std::optional<std::string> updateEnded(const engine::RunRequest& request, const session::UpdateEnding& ending) override {
    log_->entries.push_back("end " + request.port + " " + std::to_string(ending.outcome) + " " +
                            std::to_string(ending.summary.serialNumber));
    log_->texts.push_back(ending.finalText);
    return problem_;
  }

 private:
  std::shared_ptr<Log> log_;
  std::optional<std::string> problem_;
};

struct RecorderCase {
  const char* name;
  std::optional<std::string> problem;
};

TEST_F(StationTest, EachUnitRecordsItsUpdateAndAHistoryProblemIsNotedOncePerUnit) {
  const RecorderCase cases[] = {
      {"history kept", std::nullopt},
      {"history cannot be kept", std::string("The update history cannot be kept (disk full); the update goes on.")},
  };
  for (const RecorderCase& c : cases) {
    SCOPED_TRACE(c.name);
    station.reset();
    view = RecordingStationView();
    for (const auto& entry : fs::directory_iterator(watchDir())) fs::remove(entry.path());
    auto log = std::make_shared<RecordingRecorder::Log>();
    int made = 0;
    station::StationSetup s = setup();
    s.recorders = [&made, log, problem = c.problem] {
      ++made;
      return std::make_shared<RecordingRecorder>(log, problem);
    };
    begin(std::move(s));
    sim::LoggerConfig first = sim::loggerFor(12);
    first.serialNumber = 800001;
    sim::LoggerConfig second = sim::loggerFor(9);
    second.serialNumber = 800002;
    plug(logger(first), "usb-FTDI_X_R1-if00-port0");
    plug(logger(second), "usb-FTDI_X_R2-if00-port0");
    ASSERT_TRUE(runUntil([&] { return view.results.size() == 2; }));
    EXPECT_EQ(made, 2) << "one recorder per unit";
    std::vector<std::string> entries = log->entries;
    std::sort(entries.begin(), entries.end());
    const std::string p1 = (watchDir() / "usb-FTDI_X_R1-if00-port0").string();
    const std::string p2 = (watchDir() / "usb-FTDI_X_R2-if00-port0").string();
    EXPECT_EQ(entries, (std::vector<std::string>{"end " + p1 + " 0 800001", "end " + p2 + " 0 800002",
                                                 "start " + p1 + " R1", "start " + p2 + " R2"}));
    EXPECT_EQ(view.notes.size(), c.problem ? 2u : 0u) << "noted once per unit, not at start and end";
    for (const auto& note : view.notes) EXPECT_EQ(note, *c.problem);
    EXPECT_EQ(station->counters(), (station::Counters{2, 0, 0, 0, 0})) << "a history problem fails no unit";
  }
}

// What the history is told of an update the station ended itself: the
// station's own text, not "Process cancelled!".
TEST_F(StationTest, TheHistoryIsToldWhyTheStationEndedAnUpdate) {
  auto log = std::make_shared<RecordingRecorder::Log>();
  station::StationSetup s = setup();
  s.recorders = [log] { return std::make_shared<RecordingRecorder>(log, std::nullopt); };
  begin(std::move(s));
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.wireTiming = true;
  slow.clockScale = 20;
  sim::SimulatedLogger& pulled = logger(slow);
  sim::SimulatedLogger& stopped = logger(slow);
  plug(pulled, "pulled");
  plug(stopped, "stopped");
  ASSERT_TRUE(runUntil([&] { return count(pulled, sim::Request::DataLine) >= 5 && count(stopped, sim::Request::DataLine) >= 5; }));
  unplug("pulled");
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 1; }));
  station->stop();
  ASSERT_TRUE(runUntil([&] { return station->finished(); }));
  EXPECT_EQ(log->texts, (std::vector<std::string>{"adapter unplugged", "station stopped"}));
  EXPECT_EQ(station->counters(), (station::Counters{0, 0, 1, 1, 0}));
}

// A logger that arrives in its bootloader (an earlier update was cut short)
// cannot tell its serial number; the restarted application can.
TEST_F(StationTest, ALoggerArrivingInItsBootloaderGetsItsSerialNumberAfterTheRestart) {
  begin(setup());
  sim::LoggerConfig config = sim::loggerFor(12);
  config.startInBootloader = true;
  config.serialNumber = 700123;
  sim::SimulatedLogger& l = logger(config);
  plug(l, "in-bootloader");
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 1; }));
  EXPECT_TRUE(view.results[0].pass);
  EXPECT_EQ(view.results[0].serialNumber, 700123u);
  EXPECT_EQ(count(l, sim::Request::SerialQuery), 1u) << "asked once, of the restarted application";
  EXPECT_EQ(l.restarts(), 1);
}

// Two stations watching one folder: each logger is updated by one of them;
// the other finds its port held and skips it, without failing the logger.
TEST_F(StationTest, APortHeldByAnotherStationIsSkippedAsBusyElsewhere) {
  begin(setup());
  RecordingStationView otherView;
  auto otherSink = std::make_shared<QueueStationSink>();
  station::StationSetup o = setup();
  o.sink = otherSink;
  station::Station other(std::move(o), otherView);
  ports::LinkWatcher otherWatcher(watchDir());
  other.begin();
  other.linksChanged(otherWatcher.changes());
  const auto turnOther = [&] {
    pollfd fd{otherWatcher.fd(), POLLIN, 0};
    if (::poll(&fd, 1, 0) > 0) other.linksChanged(otherWatcher.changes());
    while (const auto item = otherSink->takeWithin(1ms)) other.unitEvent(item->unit, item->event);
  };
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.wireTiming = true;
  slow.clockScale = 50;
  for (int i = 0; i < 3; ++i) plug(logger(slow), "unit" + std::to_string(i));
  ASSERT_TRUE(runUntil([&] {
    turnOther();
    return view.results.size() == 3 && otherView.results.size() == 3;
  }));
  std::map<std::string, std::vector<station::ResultKind>> byLink;
  for (const auto* results : {&view.results, &otherView.results}) {
    for (const auto& r : *results) byLink[r.link].push_back(r.kind);
  }
  for (const auto& [link, kinds] : byLink) {
    SCOPED_TRACE(link);
    std::vector<station::ResultKind> sorted = kinds;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<station::ResultKind>{station::ResultKind::Pass, station::ResultKind::BusyElsewhere}));
  }
  for (const auto* results : {&view.results, &otherView.results}) {
    for (const auto& r : *results) {
      if (r.kind == station::ResultKind::BusyElsewhere) {
        EXPECT_EQ(r.text, "busy elsewhere");
      }
    }
  }
  const station::Counters a = station->counters();
  const station::Counters b = other.counters();
  EXPECT_EQ(a.failed + b.failed, 0) << "no logger failed";
  EXPECT_EQ(a.passed + b.passed, 3);
  EXPECT_EQ(a.busyElsewhere + b.busyElsewhere, 3);
  EXPECT_EQ(a.total() + b.total(), 3) << "a skipped port is no unit of that station";
  for (const auto& l : loggers) EXPECT_EQ(l->restarts(), 1);
}

}  // namespace
}  // namespace zorvik::testing
