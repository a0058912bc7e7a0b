// The Windows build of the command-line updater, run under Wine against the
// simulated logger on a pseudo-terminal that the prefix maps as a COM port.
// Proves the Win32 serial backend, the console handling and the registry
// port list on the Win32 API as Wine implements it.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "sim/simulated_logger.h"
#include "tests/wine/wine_session.h"

namespace zorvik::wine {
namespace {

using sim::FaultKind;
using sim::LoggerConfig;
using sim::Request;
using sim::SimulatedLogger;

// The data lines of an image text as its file holds them: every 64-byte
// type-0 record, by address. Read straight from the committed text, so the
// comparison does not go through the catalogue the updater sends from.
std::map<std::uint16_t, std::string> dataLinesOfImageText(const std::string& file) {
  std::ifstream in(std::string(ZORVIK_FIRMWARE_DIR) + "/" + file);
  std::map<std::uint16_t, std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(":40", 0) != 0 || line.substr(7, 2) != "00") continue;
    lines[static_cast<std::uint16_t>(std::stoul(line.substr(3, 4), nullptr, 16))] = line;
  }
  return lines;
}

int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

class WineCli : public ::testing::Test {
 protected:
  void startLogger(const LoggerConfig& config) {
    logger_ = std::make_unique<SimulatedLogger>(config);
    if (!logger_->start()) GTEST_SKIP() << "no pseudo-terminal available";
  }

  WineSession wine_;
  std::unique_ptr<SimulatedLogger> logger_;
};

struct UpdateCase {
  const char* name;
  const char* imageFile;
  LoggerConfig config;
  const char* port;
  const char* successText;
  bool vectorTableLast;
};

// Generation 2 (image 5: bootloader 2.1, platform 4, print 10) and generation
// 3 (the simulator's defaults fit image 12), each on a COM port of its own:
// one digit and two, since "\\.\" must reach both alike.
LoggerConfig generation2() {
  LoggerConfig c;
  c.bootloaderId = 0xC801;
  c.bootloaderVersion = 0x0001;
  c.platform = c.upidPlatform = 4;
  c.print = c.upidPrint = 10;
  c.appVersion = 0x052A;
  return c;
}

const UpdateCase kUpdates[] = {
    {"generation 2, image 5", "image05.txt", generation2(), "COM5", "Update ZorvikB V5.42 succesfully completed.", false},
    {"generation 3, image 12", "image12.txt", LoggerConfig{}, "COM12", "Update ZorvikB V6.26 succesfully completed.",
     true},
};

TEST_F(WineCli, FullUpdateProgramsTheWholeImage) {
  for (const auto& c : kUpdates) {
    SCOPED_TRACE(c.name);
    startLogger(c.config);
    if (IsSkipped()) return;
    wine_.mapPort(c.port, logger_->devicePath());

    const RunResult r = wine_.runUpdater({"--port", c.port, "--yes"});

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(c.successText), std::string::npos) << r.out;
    const auto expected = dataLinesOfImageText(c.imageFile);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(logger_->flash(), expected);
    const auto writes = logger_->flashWrites();
    EXPECT_EQ(writes.size(), expected.size()) << "every data line written once";
    // The vector table (address 03DF) of a generation-3 image goes last.
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().address == 0x03DF, c.vectorTableLast);
    EXPECT_EQ(logger_->restarts(), 1);
    logger_.reset();
  }
}

TEST_F(WineCli, MissingPortIsNotReady) {
  wine_.unmapPort("COM9");
  const RunResult r = wine_.runUpdater({"--port", "COM9", "--yes"});
  EXPECT_EQ(r.status, 10) << r.out << r.err;
  EXPECT_NE(r.out.find("Aborted because serial port \"COM9\" is not ready!"), std::string::npos) << r.out;
}

TEST_F(WineCli, SilentLoggerIsRepeatedThenGivenUp) {
  startLogger({});
  if (IsSkipped()) return;
  logger_->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 1000});
  wine_.mapPort("COM5", logger_->devicePath());

  const RunResult r = wine_.runUpdater({"--port", "COM5", "--yes", "--max-repeats", "1"});

  EXPECT_EQ(r.status, 30) << "signal " << r.signal << "\n" << r.out << r.err;
  EXPECT_EQ(countOf(r.out, "Start at serial port \"COM5\""), 2) << r.out;
  EXPECT_NE(r.out.find("Repeat update because communication error!"), std::string::npos) << r.out;
  EXPECT_TRUE(logger_->flashWrites().empty());
}

// Wine turns SIGINT into CTRL_C_EVENT for the process's console control
// handlers, so this reaches the same handler a Ctrl-C in a console does.
TEST_F(WineCli, InterruptCancelsTheRunAndFreesThePort) {
  LoggerConfig paced;
  paced.wireTiming = true;  // slow enough to be interrupted mid-programming
  startLogger(paced);
  if (IsSkipped()) return;
  wine_.mapPort("COM5", logger_->devicePath());

  Child updater = wine_.startUpdater({"--port", "COM5", "--yes"});
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (logger_->flashWrites().size() < 3 && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_GE(logger_->flashWrites().size(), 3u) << "programming never started";
  updater.signal(SIGINT);
  const RunResult r = updater.wait(std::chrono::seconds(60));

  EXPECT_EQ(r.status, 20) << r.out << r.err;
  EXPECT_NE(r.out.find("Process cancelled!"), std::string::npos) << r.out;
  EXPECT_LT(logger_->flashWrites().size(), dataLinesOfImageText("image12.txt").size());
  // The port was released: a second run gets it and completes the update.
  const RunResult again = wine_.runUpdater({"--port", "COM5", "--yes", "--read-info"});
  EXPECT_NE(again.out.find("Start at serial port \"COM5\""), std::string::npos) << again.out;
  EXPECT_EQ(again.out.find("is not ready"), std::string::npos) << again.out;
}

// A port held by one run must be refused to a second (error 10). Wine does
// not enforce exclusive opening of a COM port, so there the second run gets
// the port and the check can only be skipped; real Windows refuses it.
TEST_F(WineCli, PortHeldByAnotherRunIsNotReady) {
  LoggerConfig paced;
  paced.wireTiming = true;
  startLogger(paced);
  if (IsSkipped()) return;
  wine_.mapPort("COM5", logger_->devicePath());
  Child holder = wine_.startUpdater({"--port", "COM5", "--yes"});
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (logger_->flashWrites().empty() && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_FALSE(logger_->flashWrites().empty()) << "the first run never started programming";

  const RunResult second = wine_.runUpdater({"--port", "COM5", "--read-info", "--max-repeats", "0"});
  holder.signal(SIGKILL);
  if (second.status != 10) {
    GTEST_SKIP() << "Wine let a second program open COM5 while the first held it (status " << second.status
                 << "): exclusive opening needs real Windows to be tested";
  }
  EXPECT_NE(second.out.find("Aborted because serial port \"COM5\" is not ready!"), std::string::npos) << second.out;
}

// Wine keeps a key's values sorted by name, so the enumeration order here is
// VCP0, VCP1, vcp2, with Serial0 and USBSER000 among them - and the port
// names must come out in that order: unsorted, the duplicate kept.
TEST_F(WineCli, ListPortsShowsTheVcpEntriesOfTheSerialMap) {
  // The map is a volatile key that Wine fills at the start of every session;
  // its values can be replaced, but a deleted key cannot be made again.
  const std::string key = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
  ASSERT_EQ(wine_.run({"reg", "delete", key, "/va", "/f"}).status, 0);
  const std::pair<const char*, const char*> values[] = {
      {"\\Device\\VCP0", "COM7"}, {"\\Device\\Serial0", "COM1"}, {"\\Device\\VCP1", "COM3"},
      {"\\device\\vcp2", "COM3"}, {"\\Device\\USBSER000", "COM4"}};
  for (const auto& [name, data] : values) {
    const RunResult added = wine_.run({"reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", data, "/f"});
    ASSERT_EQ(added.status, 0) << added.out << added.err;
  }
  const RunResult listed = wine_.runUpdater({"--list-ports"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  std::string text = listed.out;
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  // Every VCP port of the map is a logger adapter; Windows tells no serial
  // number or by-id name here.
  EXPECT_EQ(text, "COM7  logger adapter\nCOM3  logger adapter\nCOM3  logger adapter\n");

  ASSERT_EQ(wine_.run({"reg", "delete", key, "/f"}).status, 0);
  const RunResult noMap = wine_.runUpdater({"--list-ports"});
  EXPECT_EQ(noMap.status, 0) << noMap.err;
  EXPECT_EQ(noMap.out, "") << "no serial port map: no ports";
}

}  // namespace
}  // namespace zorvik::wine
