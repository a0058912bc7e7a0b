// The station as an operator meets it: a folder of port links (here
// symbolic links to simulated loggers' pseudo-terminals), loggers plugged in
// one after another, one pulled out in the middle of its update, one whose
// line hangs up, and Ctrl-C at the end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <sstream>
#include <optional>
#include <regex>
#include <thread>

#include <sqlite3.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include "apps/cli/cli.h"
#include "tests/cli/station_fixture.h"
#include "history/sqlite_history.h"
#include "images/catalogue.h"
#include "images/version_text.h"
#include "images/sending_order.h"
#include "link/serial_port.h"
#include "sim/logger_for_image.h"
#include "sim/simulated_logger.h"
#include "tests/support/silent_pty.h"

namespace zorvik::testing {
namespace {

// The SHA-256 of an image's lines in sending order, each followed by "\n", as
// sha256sum computes it: a digest from outside the updater's own code.
std::string sha256OfImageAsSent(int image, const fs::path& scratch) {
  const fs::path file = scratch / ("image" + std::to_string(image) + ".sent");
  {
    std::ofstream out(file, std::ios::binary);
    for (const std::string_view line : images::sendingOrder(images::ImageSource(), image)) out << line << "\n";
  }
  FILE* pipe = ::popen(("sha256sum '" + file.string() + "'").c_str(), "r");
  char digest[65] = {};
  if (pipe == nullptr || std::fread(digest, 1, 64, pipe) != 64) digest[0] = '\0';
  if (pipe != nullptr) ::pclose(pipe);
  return digest;
}

std::string integrityCheck(const fs::path& file) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return result;
}

TEST_F(StationTest, UpdatesLoggersAsTheyArePluggedInAndReportsAPulledAdapter) {
  startStation();
  const int images[] = {12, 9, 4};
  for (int i = 0; i < 3; ++i) {
    sim::LoggerConfig config = sim::loggerFor(images[i]);
    config.serialNumber = 500001 + static_cast<std::uint32_t>(i);
    plug(logger(config), "usb-FTDI_FT232R_USB_UART_UNIT" + std::to_string(i) + "-if00-port0");
    ASSERT_TRUE(waitFor([&] { return results() == static_cast<std::size_t>(i + 1); })) << out_.text();
  }
  // The fourth runs at a twentieth of the real line time: long enough to be
  // pulled out in the middle of its image.
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.serialNumber = 500004;
  slow.wireTiming = true;
  slow.clockScale = 20;
  sim::SimulatedLogger& fourth = logger(slow);
  plug(fourth, "usb-FTDI_FT232R_USB_UART_UNIT3-if00-port0");
  ASSERT_TRUE(waitFor([&] { return count(fourth, sim::Request::DataLine) >= 20; }));
  unplug("usb-FTDI_FT232R_USB_UART_UNIT3-if00-port0");
  ASSERT_TRUE(waitFor([&] { return results() == 4; })) << out_.text();
  stop();

  EXPECT_EQ(status_, 0) << "no logger failed: one was pulled out";
  const auto result = lines("result");
  ASSERT_EQ(result.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(result[static_cast<std::size_t>(i)]);
    EXPECT_EQ(field(result[static_cast<std::size_t>(i)], "result"), "PASS");
    EXPECT_EQ(field(result[static_cast<std::size_t>(i)], "adapter"), "UNIT" + std::to_string(i));
    EXPECT_EQ(field(result[static_cast<std::size_t>(i)], "serial"), std::to_string(500001 + i));
    const images::ImageHeader h = images::builtInHeader(images[i]);
    EXPECT_EQ(field(result[static_cast<std::size_t>(i)], "imageVersion"), images::versionText(h.versionHigh, h.versionLow));
    EXPECT_EQ(loggers_[static_cast<std::size_t>(i)]->restarts(), 1);
  }
  EXPECT_EQ(field(result[3], "result"), "UNPLUGGED");
  EXPECT_EQ(field(result[3], "text"), "adapter unplugged");
  EXPECT_EQ(field(result[3], "imageVersion"), "-") << "no version was written";
  for (const auto& r : result) EXPECT_EQ(field(r, "time").size(), 8u) << r;
  EXPECT_EQ(field(result[3], "serial"), "500004");
  EXPECT_EQ(fourth.restarts(), 0);
  const auto counters = lines("counters");
  ASSERT_FALSE(counters.empty());
  EXPECT_EQ(field(counters.back(), "passed"), "3");
  EXPECT_EQ(field(counters.back(), "failed"), "0");
  EXPECT_EQ(field(counters.back(), "unplugged"), "1");
  EXPECT_EQ(field(counters.back(), "total"), "4");
  for (const auto& l : loggers_) {
    link::PortHandle again = link::openSerialPort(l->devicePath(), 9600);
    EXPECT_NE(again, nullptr) << "every port released: " << l->devicePath();
  }
  for (const auto& line : lines("")) EXPECT_NE(line.find("\"schema\":2"), std::string::npos);

  // The history holds one row per unit, newest first.
  EXPECT_EQ(integrityCheck(historyFile()), "ok");
  history::SqliteHistory store(historyFile().string());
  auto rows = store.rows();
  ASSERT_EQ(rows.size(), 4u);
  std::reverse(rows.begin(), rows.end());
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const history::UpdateRow& row = rows[static_cast<std::size_t>(i)];
    ASSERT_EQ(row.state, history::RowState::Finished);
    ASSERT_TRUE(row.end.has_value());
    EXPECT_EQ(row.start.frontEnd, "station");
    EXPECT_EQ(row.serialNumber, 500001u + static_cast<std::uint32_t>(i));
    const int image = i < 3 ? images[i] : 12;
    EXPECT_EQ(row.end->appVersionBefore, sim::loggerFor(image).appVersion);
    const images::ImageHeader h = images::builtInHeader(image);
    EXPECT_EQ(row.end->imageVersionHigh, h.versionHigh);
    EXPECT_EQ(row.end->imageVersionLow, h.versionLow);
    EXPECT_EQ(row.end->imageSha256, sha256OfImageAsSent(image, dir_));
    EXPECT_EQ(row.end->resultCode, i < 3 ? 0 : engine::errorValue(engine::ErrorCode::Cancelled));
  }
  EXPECT_EQ(rows[3].end->resultText, "adapter unplugged");
  EXPECT_EQ(rows[0].start.adapterSerial, "UNIT0");
}

TEST_F(StationTest, AHangUpEndsThatUnitAloneAndThePortIsTakenAgainAfterReplugging) {
  startStation();
  sim::SimulatedLogger& hanging = logger(sim::loggerFor(12));
  hanging.injectFault({sim::FaultKind::HangUp, sim::Request::DataLine, 100});
  plug(hanging, "unitA");
  ASSERT_TRUE(waitFor([&] { return results() == 1; })) << out_.text();
  EXPECT_EQ(field(lines("result")[0], "result"), "FAIL");
  EXPECT_EQ(field(lines("result")[0], "code"), "11");

  // The same link again, still there: nothing happens until it is replugged.
  sim::SimulatedLogger& next = logger(sim::loggerFor(12));
  unplug("unitA");
  plug(next, "unitA");
  ASSERT_TRUE(waitFor([&] { return results() == 2; })) << out_.text();
  EXPECT_EQ(field(lines("result")[1], "result"), "PASS");
  stop();
  EXPECT_EQ(status_, 1);
  EXPECT_EQ(next.restarts(), 1);
}

// On real hardware a pulled adapter fails its port first and its link goes a
// moment later: here the line hangs up mid-image and the link is removed
// just after. That is an unplugged adapter, not a failed logger, in the
// result and in the history.
TEST_F(StationTest, APortThatFailsJustBeforeItsLinkGoesIsUnpluggedNotFailed) {
  startStation();
  sim::LoggerConfig config = sim::loggerFor(12);
  config.serialNumber = 600010;
  sim::SimulatedLogger& pulled = logger(config);
  pulled.injectFault({sim::FaultKind::HangUp, sim::Request::DataLine, 100});
  plug(pulled, "pulled");
  ASSERT_TRUE(waitFor([&] { return count(pulled, sim::Request::DataLine) >= 100; }));
  std::this_thread::sleep_for(100ms);  // the port has failed; the system notices a moment later
  unplug("pulled");
  ASSERT_TRUE(waitFor([&] { return results() == 1; })) << out_.text();
  stop();

  const std::string result = lines("result").at(0);
  EXPECT_EQ(field(result, "result"), "UNPLUGGED") << result;
  EXPECT_EQ(field(result, "text"), "adapter unplugged");
  const std::string counters = lines("counters").back();
  EXPECT_EQ(field(counters, "failed"), "0") << counters;
  EXPECT_EQ(field(counters, "unplugged"), "1") << counters;
  EXPECT_EQ(status_, 0);
  const auto rows = history::SqliteHistory(historyFile().string()).rows();
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_TRUE(rows[0].end.has_value());
  EXPECT_EQ(rows[0].end->resultText, "adapter unplugged");
  EXPECT_EQ(rows[0].serialNumber, 600010u);
}

// A unit on which no logger ever answers fails without a serial number: the
// JSON says so with null, as the history does, never with 0 or "".
TEST_F(StationTest, AUnitThatNeverAnsweredHasNoSerialNumber) {
  SilentPty silent;
  if (silent.path().empty()) GTEST_SKIP() << "no pseudo-terminal available";
  startStation();
  fs::create_symlink(silent.path(), dir_ / "watch" / "silent");
  ASSERT_TRUE(waitFor([&] { return results() == 1; })) << out_.text();
  stop();
  const std::string result = lines("result").at(0);
  EXPECT_EQ(field(result, "result"), "FAIL") << result;
  EXPECT_NE(result.find("\"serial\":null,"), std::string::npos) << result;
  const auto rows = history::SqliteHistory(historyFile().string()).rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].serialNumber, std::nullopt);
}

TEST_F(StationTest, AnIdleStationStopsCleanlyAndTakesOnlyLinks) {
  startStation();
  // A file that is not a link is no port: nothing starts.
  std::ofstream(dir_ / "watch" / "notes.txt") << "not a port\n";
  ASSERT_TRUE(waitFor([&] { return lines("station").size() == 1; }));
  stop();
  EXPECT_EQ(status_, 0) << "no unit failed";
  EXPECT_TRUE(lines("unit").empty());
  const auto counters = lines("counters");
  ASSERT_EQ(counters.size(), 1u);
  EXPECT_EQ(field(counters[0], "total"), "0");
  EXPECT_EQ(field(counters[0], "final"), "true");
}

#ifdef ZORVIK_CLI_PATH
// The station killed outright in the middle of two updates: the history
// survives whole, with those two updates marked interrupted.
TEST_F(StationTest, KilledDuringTwoUpdatesLeavesThemInterruptedAndTheRestIntact) {
  const fs::path output = dir_ / "station.json";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDOUT_FILENO);
    ::execl(ZORVIK_CLI_PATH, ZORVIK_CLI_PATH, "--station", "--yes", "--json", "--watch-dir", (dir_ / "watch").c_str(),
            "--history-db", historyFile().c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto outputHas = [&](const std::string& text) {
    std::ifstream in(output);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.find(text) != std::string::npos;
  };
  ASSERT_TRUE(waitFor([&] { return outputHas("\"type\":\"station\""); }));
  sim::LoggerConfig fast = sim::loggerFor(12);
  fast.serialNumber = 600001;
  plug(logger(fast), "first");
  ASSERT_TRUE(waitFor([&] { return outputHas("\"type\":\"result\""); }));
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.wireTiming = true;
  slow.clockScale = 20;
  slow.serialNumber = 600002;
  sim::SimulatedLogger& second = logger(slow);
  slow.serialNumber = 600003;
  sim::SimulatedLogger& third = logger(slow);
  plug(second, "second");
  plug(third, "third");
  ASSERT_TRUE(waitFor([&] {
    return count(second, sim::Request::DataLine) >= 20 && count(third, sim::Request::DataLine) >= 20;
  }));
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);

  EXPECT_EQ(integrityCheck(historyFile()), "ok");
  history::SqliteHistory store(historyFile().string());
  const auto rows = store.rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].state, history::RowState::Interrupted);
  EXPECT_EQ(rows[1].state, history::RowState::Interrupted);
  // Each interrupted row still names its logger: the serial number was
  // written as soon as it was read.
  std::vector<std::optional<std::uint32_t>> interrupted = {rows[0].serialNumber, rows[1].serialNumber};
  std::sort(interrupted.begin(), interrupted.end());
  EXPECT_EQ(interrupted, (std::vector<std::optional<std::uint32_t>>{600002u, 600003u}));
  EXPECT_EQ(rows[2].state, history::RowState::Finished);
  ASSERT_TRUE(rows[2].end.has_value());
  EXPECT_EQ(rows[2].serialNumber, 600001u);
  EXPECT_EQ(rows[2].end->resultCode, 0);
}
#endif

// Ctrl-C in the middle of an update: the operator stopped it, the logger
// did not fail.
TEST_F(StationTest, CtrlCDuringAnUpdateIsStoppedNotFailed) {
  ::setenv("NO_COLOR", "1", 1);
  startStation({"--yes"}, std::nullopt, true);
  sim::LoggerConfig slow = sim::loggerFor(12);
  slow.serialNumber = 500077;
  slow.wireTiming = true;
  slow.clockScale = 20;
  sim::SimulatedLogger& busy = logger(slow);
  plug(busy, "usb-FTDI_FT232R_USB_UART_BUSY-if00-port0");
  const std::regex progressLine("^\\d\\d-\\d\\d-\\d\\d \\[usb-FTDI_FT232R_USB_UART_BUSY-if00-port0\\] \\d+% \\(\\d+/\\d+ lines");
  const auto progressLines = [&] {
    std::istringstream text(out_.text());
    std::vector<std::string> found;
    for (std::string line; std::getline(text, line);) {
      if (std::regex_search(line, progressLine)) found.push_back(line);
    }
    return found;
  };
  // Progress lines while the image goes: at most one a second.
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitFor([&] { return progressLines().size() >= 2; })) << out_.text();
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_LE(static_cast<double>(progressLines().size()), seconds + 2.0) << out_.text();
  stop();
  EXPECT_EQ(status_, 0) << out_.text();
  std::istringstream text(out_.text());
  std::vector<std::string> all;
  for (std::string line; std::getline(text, line);) all.push_back(line);
  const auto stopped = std::find_if(all.begin(), all.end(), [](const std::string& l) {
    return l.find(" STOPPED usb-FTDI_FT232R_USB_UART_BUSY-if00-port0 adapter BUSY serial 500077 ") != std::string::npos;
  });
  ASSERT_NE(stopped, all.end()) << out_.text();
  EXPECT_TRUE(std::regex_search(*stopped, std::regex("^\\d\\d-\\d\\d-\\d\\d STOPPED "))) << "time-stamped: " << *stopped;
  EXPECT_NE(stopped->find(" -> - "), std::string::npos) << "no version written: " << *stopped;
  EXPECT_NE(stopped->find("\"station stopped\""), std::string::npos) << *stopped;
  EXPECT_EQ(all.back(), "Station stopped: passed 0, failed 0, stopped 1, total 1");
  history::SqliteHistory store(historyFile().string());
  const auto rows = store.rows();
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_TRUE(rows[0].end.has_value());
  EXPECT_EQ(rows[0].end->resultText, "station stopped");
  EXPECT_EQ(busy.restarts(), 0);
}

struct StartCase {
  const char* name;
  std::vector<std::string> extra;
  std::optional<std::string> answer;  // typed on a terminal; none: no terminal
  bool starts;
  int status;  // once stopped, or when it did not start
  const char* err;  // in standard error
};

// Starting asks once, naming what a station does; only "yes" or --yes starts it.
TEST_F(StationTest, StartingAsksOnceUnlessYesIsGiven) {
  const StartCase cases[] = {
      {"yes typed", {}, "yes", true, 0, "Every logger plugged in will be updated; its measurements are erased."},
      {"no typed", {}, "no", false, 1, "Station not started."},
      {"no terminal", {}, std::nullopt, false, 2, "confirm on a terminal or pass --yes"},
      {"--yes", {"--yes"}, std::nullopt, true, 0, ""},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    out_.str("");
    err_.str("");
    freshInterrupt();
    sim::SimulatedLogger& waiting = logger(sim::loggerFor(12));
    plug(waiting, "waiting");
    startStation(c.extra, c.answer);
    if (c.starts) {
      ASSERT_TRUE(waitFor([&] { return waiting.restarts() == 1; })) << out_.text() << err_.text();
      stop();
    } else {
      station_.join();
      EXPECT_TRUE(waiting.requests().empty()) << "no logger touched";
    }
    EXPECT_EQ(status_, c.status);
    EXPECT_NE(err_.text().find(c.err), std::string::npos) << err_.text();
    const bool asked = err_.text().find("Do you really start the station ?") != std::string::npos;
    EXPECT_EQ(asked, c.answer.has_value()) << err_.text();
    unplug("waiting");
  }
}

TEST(StationOptions, MisuseIsAUsageError) {
  std::ostringstream out, err;
  std::istringstream in;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--station", "--port", "/dev/ttyUSB0"}, std::vector<std::string>{"--station", "--read-info"},
        std::vector<std::string>{"--watch-dir", "/tmp"},
        // A station's units come and go: one trace file cannot hold them,
        // and writing none without a word would lose what was asked for.
        std::vector<std::string>{"--station", "--trace", "/tmp/zorvik-station-trace"},
        // A batch's own switches mean nothing to a single update.
        std::vector<std::string>{"--port", "/dev/ttyUSB0", "--yes", "--skip-current"},
        std::vector<std::string>{"--port", "/dev/ttyUSB0", "--yes", "--results-csv", "/tmp/zorvik-results.csv"}}) {
    cli::CliIo io(out, err, in);
    EXPECT_EQ(cli::runCli(arguments, io), 2) << arguments.back();
  }
}

}  // namespace
}  // namespace zorvik::testing
