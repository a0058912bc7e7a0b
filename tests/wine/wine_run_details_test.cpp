// What the window tells about an update beyond its progress, under Wine: the
// system's own explanation after a failure, the line trace service staff can
// ask for, and the time left written over the progress bar.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/wine/window_fixture.h"

namespace zorvik::wine {
namespace {

namespace fs = std::filesystem;
using sim::LoggerConfig;

constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";
constexpr const char* kStartLine = "Start at serial port \"COM5\"";

struct ExplanationCase {
  const char* name;
  const char* port;
  bool portIsFolder;      // the port's name leads to a folder
  const char* reason;     // how the explanation line begins
  const char* fix;        // how it ends
};

const ExplanationCase kExplanations[] = {
    // Windows refuses a COM port another program has open with "access
    // denied"; Wine lets several programs open one port, but refuses a port
    // name that leads to a folder the same way.
    {"access denied", "COM6", true, "another program holds the port (Windows lets one program at a time open a COM port)",
     "close the program that uses it (a terminal program, another updater) and try again"},
    {"no such port", "COM9", false, "no such port", "is the adapter plugged in? see zorvik-updater-cli --list-ports"},
};

TEST_F(WineWindow, FailedUpdateEndsWithTheSystemsExplanation) {
  setServiceMode(true);  // no question before the update
  for (const auto& c : kExplanations) {
    SCOPED_TRACE(c.name);
    if (c.portIsFolder) wine_.mapPort(c.port, ZORVIK_WINE_OUTPUT_DIR);
    const Transcript t = pilot({"launch", std::string("set-port ") + c.port, kClickUpdate, "dialog 60 Information",
                                "answer Information OK", kReadReport, "close", "wait-exit 20"});
    ASSERT_TRUE(t.completed()) << t.raw;
    const std::string error = std::string("Aborted because serial port \"") + c.port + "\" is not ready!";
    const auto report = reportTexts(t.first(kReadReport));
    ASSERT_EQ(report.size(), 3u) << t.first(kReadReport);
    EXPECT_EQ(report[0], std::string("Start at serial port \"") + c.port + "\"");
    EXPECT_EQ(report[1], error);
    EXPECT_EQ(report[2].rfind(c.reason, 0), 0u) << report[2];
    const std::string ending = std::string(": ") + c.fix;
    ASSERT_TRUE(report[2].size() > ending.size() && report[2].substr(report[2].size() - ending.size()) == ending)
        << report[2];
    // The message: the error text as it was, then the same cause and fix
    // (the pilot writes its line breaks as "\n").
    const std::string reason = report[2].substr(0, report[2].size() - ending.size());
    EXPECT_EQ(t.first("dialog Information"), error + "\\n\\nCause: " + reason + "\\nFix: " + c.fix);
  }
}

// The trace folder as the host reaches it.
fs::path traceFolder(const std::string& localAppData) {
  return fs::path(unixPath(localAppData)) / "zorvik-updater" / "traces";
}

std::vector<std::string> fileLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool anyMatches(const std::vector<std::string>& lines, const std::regex& pattern) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_search(l, pattern); });
}

TEST_F(WineWindow, WriteTraceRecordsTheUpdateInTheUsersTraceFolder) {
  startLogger();
  if (IsSkipped()) return;
  setServiceMode(true);
  const std::string appData = localAppData();
  ASSERT_FALSE(appData.empty());
  const Transcript t = pilot({"launch", about("click", roles::kTraceBox), "controls", kClickUpdate,
                              "dialog 60 Information", "answer Information OK", kReadReport, "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.first(about("control", roles::kTraceBox)), "shown enabled checked \"Write trace\"");
  EXPECT_EQ(t.first("dialog Information"), kSuccess);
  const auto report = reportTexts(t.first(kReadReport));
  ASSERT_GE(report.size(), 3u) << t.first(kReadReport);
  std::smatch named;
  ASSERT_TRUE(std::regex_match(report[0], named, std::regex(R"(Trace: (.*)\\(trace-\d{8}-\d{6}-COM5(-\d+)?\.txt))")))
      << report[0];
  EXPECT_EQ(named[1].str(), appData + "\\zorvik-updater\\traces");
  EXPECT_EQ(report[1], kStartLine);
  EXPECT_EQ(report.back(), kSuccess);

  const fs::path file = traceFolder(appData) / named[2].str();
  const std::vector<std::string> lines = fileLines(file);
  fs::remove(file);
  ASSERT_FALSE(lines.empty()) << "no trace at " << file;
  EXPECT_EQ(lines.front(), "zorvik-line-trace 1");
  EXPECT_TRUE(anyMatches(lines, std::regex(R"(^\d+ # open COM5$)")));
  EXPECT_TRUE(anyMatches(lines, std::regex(R"(^\d+ > [0-9A-F]{2}( [0-9A-F]{2})*$)"))) << "the bytes sent";
  EXPECT_TRUE(anyMatches(lines, std::regex(R"(^\d+ < [0-9A-F]{2}( [0-9A-F]{2})*$)"))) << "the bytes received";
  EXPECT_TRUE(anyMatches(lines, std::regex(R"(^\d+ # event 0 )"))) << "the success event";
}

// A trace that was asked for but cannot be written: the update does not
// start untraced, and the user is told why.
TEST_F(WineWindow, TraceThatCannotBeWrittenStartsNoUpdate) {
  startLogger();
  if (IsSkipped()) return;
  setServiceMode(true);
  const std::string appData = localAppData();
  ASSERT_FALSE(appData.empty());
  // A file where the trace folder belongs: the folder cannot be made.
  const fs::path folder = traceFolder(appData);
  fs::remove_all(folder);
  fs::create_directories(folder.parent_path());
  std::ofstream(folder) << "not a folder\n";
  const Transcript t = pilot({"launch", about("click", roles::kTraceBox), kClickUpdate, "dialog 20 Information",
                              kReadStatus, "answer Information OK", "controls", kReadReport, "close", "wait-exit 20"});
  fs::remove(folder);
  ASSERT_TRUE(t.completed()) << t.raw;
  const std::string message = t.first("dialog Information");
  EXPECT_EQ(message.rfind("Cannot write the trace: cannot create the folder ", 0), 0u) << message;
  EXPECT_NE(message.find("zorvik-updater\\traces"), std::string::npos) << message;
  EXPECT_EQ(t.first(kReadStatus), message);
  EXPECT_EQ(reportTexts(t.first(kReadReport)), std::vector<std::string>{message}) << "no run was started";
  EXPECT_EQ(t.first(about("control", roles::kUpdateButton)), "shown enabled \"Update\"");
  EXPECT_TRUE(logger_->requests().empty()) << "nothing reached the logger";
}

// The time left, once enough lines have gone to tell it, stands on the
// progress bar ("2:35 left") and goes when the update ends; the bar is
// named "Progress" again.
TEST_F(WineWindow, TimeLeftStandsOnTheProgressBarDuringAnUpdate) {
  LoggerConfig paced;
  paced.wireTiming = true;
  paced.clockScale = 20;
  startLogger(paced);
  if (IsSkipped()) return;
  setServiceMode(true);
  const Transcript t = pilot({"launch", about("text", roles::kProgressBar), kClickUpdate,
                              about("wait-text", roles::kProgressBar, "120 left"), kReadStatus, kReadTaskbar,
                              "dialog 240 Information", about("text", roles::kProgressBar), "answer Information OK",
                              kReadReport, "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  const auto bar = t.all(about("text", roles::kProgressBar));
  ASSERT_EQ(bar.size(), 3u);
  EXPECT_EQ(bar[0], "Progress");
  EXPECT_TRUE(std::regex_match(bar[1], std::regex(R"(\d+:[0-5]\d left)"))) << bar[1];
  EXPECT_EQ(bar[2], "Progress") << "no time left after the update";
  // The time is the bar's alone: status, task bar and report stay as they were.
  EXPECT_EQ(t.first(kReadStatus).find("left"), std::string::npos) << t.first(kReadStatus);
  EXPECT_TRUE(std::regex_match(t.first(kReadTaskbar), std::regex(R"(\d{1,2}%)"))) << t.first(kReadTaskbar);
  const auto report = reportTexts(t.first(kReadReport));
  EXPECT_FALSE(anyMatches(report, std::regex("left"))) << t.first(kReadReport);
  EXPECT_EQ(t.first("dialog Information"), kSuccess);
}

// Logging off during an update: Windows asks first, and the window refuses
// while a logger is being written; when the session ends all the same, the
// run stops and the port is released.
TEST_F(WineWindow, LoggingOffWaitsForTheUpdateOrStopsIt) {
  LoggerConfig paced;
  paced.wireTiming = true;
  paced.clockScale = 20;
  startLogger(paced);
  if (IsSkipped()) return;
  setServiceMode(true);
  const Transcript t = pilot({"launch", "end-session ask", kClickUpdate,
                              about("wait-text", roles::kProgressBar, "120 left"), "end-session ask",
                              "end-session end", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.all("end-session"), (std::vector<std::string>{"allowed", "refused", "ended"}));
  // The program ended by itself, cleanly, with the update stopped half-way.
  EXPECT_EQ(t.first("exit"), "0");
  EXPECT_EQ(logger_->restarts(), 0);
}

}  // namespace
}  // namespace zorvik::wine
