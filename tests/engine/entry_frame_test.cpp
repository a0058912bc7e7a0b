// The bootloader entry frame: an application below 6.0 knows only the old
// frame (command 5), one from 6.0 on only the new frame (command 2), and a
// frame it does not know leaves it in its application. A full update on each
// side of the boundary must switch the logger and program it; the same
// loggers with the two frames swapped must not be switched, so an update
// that chose its frame by any other rule could not pass here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "engine/event_sink.h"
#include "engine/events.h"
#include "engine/logger_update.h"
#include "engine/run_request.h"
#include "images/catalogue.h"
#include "link/sleeper.h"
#include "engine/update_error.h"
#include "sim/logger_for_image.h"
#include "sim/simulated_logger.h"

namespace zorvik::engine {
namespace {

constexpr int kImage = 12;

class EventLog final : public EventSink {
 public:
  void post(RunEvent event) noexcept override {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  std::vector<RunEvent> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<RunEvent> events_;
};

std::vector<std::int32_t> valuesOf(const std::vector<RunEvent>& events, std::uint32_t code) {
  std::vector<std::int32_t> values;
  for (const auto& e : events) {
    if (e.code == code) values.push_back(e.value);
  }
  return values;
}

long countOf(const std::vector<sim::Request>& requests, sim::Request kind) {
  return std::count(requests.begin(), requests.end(), kind);
}

// The data lines of the image by address, read from the text itself (":40"
// count, four address digits, type "00").
std::map<std::uint16_t, std::string> dataLinesByAddress(int image) {
  const images::ImageSource builtIn;
  std::map<std::uint16_t, std::string> lines;
  for (int i = 0; i < builtIn.lastLine(image); ++i) {
    const std::string line(builtIn.line(image, i));
    if (line.rfind(":40", 0) != 0 || line.substr(7, 2) != "00") continue;
    lines[static_cast<std::uint16_t>(std::stoi(line.substr(3, 4), nullptr, 16))] = line;
  }
  return lines;
}

struct Case {
  const char* name;
  std::uint16_t appVersion;
  bool framesSwapped;  // the logger takes the frame of the other versions
  bool updated;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class EntryFrame : public ::testing::TestWithParam<Case> {
 protected:
  std::vector<RunEvent> update(const sim::SimulatedLogger& logger) {
    RunRequest request;
    request.port = logger.devicePath();
    request.sleeper = std::make_shared<link::NoPauses>();
    auto sink = std::make_shared<EventLog>();
    LoggerUpdate worker(std::move(request), sink);
    worker.execute();
    return sink->events();
  }
};

TEST_P(EntryFrame, FullUpdate) {
  const Case& c = GetParam();
  sim::LoggerConfig config = sim::loggerFor(kImage);
  config.appVersion = c.appVersion;
  config.entryFramesSwapped = c.framesSwapped;
  sim::SimulatedLogger logger(config);
  if (!logger.start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";

  const std::vector<RunEvent> events = update(logger);
  ASSERT_FALSE(events.empty());
  const std::vector<sim::Request> requests = logger.requests();
  // Whatever the outcome, the update sent one entry frame, and the version it
  // read decided which.
  const std::vector<std::int32_t> versions = valuesOf(events, kEvVersion);
  ASSERT_FALSE(versions.empty());
  EXPECT_EQ(versions.front(), c.appVersion);
  EXPECT_EQ(countOf(requests, sim::Request::BootloaderEntry) + countOf(requests, sim::Request::WrongEntryFrame), 1);

  if (c.updated) {
    EXPECT_EQ(events.back().code, kEvSuccess);
    EXPECT_EQ(events.back().image, images::builtInHeader(kImage));
    EXPECT_EQ(countOf(requests, sim::Request::BootloaderEntry), 1) << "the frame this version takes";
    EXPECT_EQ(countOf(requests, sim::Request::WrongEntryFrame), 0);
    // Application, its bootloader, then the restarted application.
    EXPECT_EQ(valuesOf(events, kEvClass),
              (std::vector<std::int32_t>{0x6601, config.bootloaderId, images::builtInHeader(kImage).deviceClass}));
    EXPECT_EQ(logger.flash(), dataLinesByAddress(kImage));
    EXPECT_EQ(logger.restarts(), 1);
  } else {
    EXPECT_EQ(events.back().code, kEvError);
    EXPECT_EQ(events.back().value, errorValue(ErrorCode::NoUpdate));
    EXPECT_EQ(countOf(requests, sim::Request::WrongEntryFrame), 1) << "the frame this logger does not know";
    EXPECT_EQ(countOf(requests, sim::Request::BootloaderEntry), 0);
    // Asked again after the frame, the logger still answers as its application.
    EXPECT_EQ(valuesOf(events, kEvClass), (std::vector<std::int32_t>{0x6601, 0x6601}));
    EXPECT_TRUE(logger.flash().empty());
    EXPECT_EQ(logger.restarts(), 0);
  }
  EXPECT_EQ(logger.mode(), sim::Mode::Application);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, EntryFrame,
    ::testing::Values(Case{"LastOldFrameVersion", 0x05FF, false, true},
                      Case{"FirstNewFrameVersion", 0x0600, false, true},
                      Case{"LastOldFrameVersionTakingTheNewFrame", 0x05FF, true, false},
                      Case{"FirstNewFrameVersionTakingTheOldFrame", 0x0600, true, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorvik::engine
