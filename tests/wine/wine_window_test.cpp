// zorvik-updater.exe, the native Windows window, under Wine on a virtual X
// display: the pilot drives it as a person would (clicks, keys, answers)
// against the simulated logger on a pseudo-terminal mapped to COM5, and
// these tests judge what it saw and what the logger received.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <regex>
#include <thread>

#include "tests/wine/window_fixture.h"

namespace zorvik::wine {
namespace {

using sim::FaultKind;
using sim::LoggerConfig;
using sim::Request;
using namespace std::chrono_literals;

constexpr const char* kTitle = "Zorvik Firmware Update";
constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";
constexpr const char* kStartLine = "Start at serial port \"COM5\"";

std::map<std::uint16_t, std::string> dataLinesOfImage12() {
  std::ifstream in(std::string(ZORVIK_FIRMWARE_DIR) + "/image12.txt");
  std::map<std::uint16_t, std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(":40", 0) != 0 || line.substr(7, 2) != "00") continue;
    lines[static_cast<std::uint16_t>(std::stoul(line.substr(3, 4), nullptr, 16))] = line;
  }
  return lines;
}

// The states the pilot prints for the controls that change with a run.
struct ControlStates {
  std::string update, cancel, close, port;
};
ControlStates idle() {
  return {"shown enabled \"Update\"", "hidden enabled \"Cancel\"", "shown enabled \"Close\"", "shown enabled"};
}
ControlStates running() {
  return {"shown disabled \"Update\"", "shown enabled \"Cancel\"", "hidden enabled \"Close\"", "shown disabled"};
}
void expectControls(const Transcript& t, std::size_t index, const ControlStates& want) {
  ASSERT_GT(t.all(about("control", roles::kUpdateButton)).size(), index);
  EXPECT_EQ(t.all(about("control", roles::kUpdateButton))[index], want.update);
  EXPECT_EQ(t.all(about("control", roles::kCancelButton))[index], want.cancel);
  EXPECT_EQ(t.all(about("control", roles::kCloseButton))[index], want.close);
  const std::string port = t.all(about("control", roles::kPortBox))[index];
  EXPECT_EQ(port.rfind(want.port, 0), 0u) << port;
}

TEST_F(WineWindow, CompleteUpdateFromClickToFinalMessage) {
  // Paced at forty times the line's speed: the update lasts some seconds, so
  // the pilot sees the running state and the task bar's percentage however
  // busy the machine is.
  sim::LoggerConfig paced;
  paced.wireTiming = true;
  paced.clockScale = 40;
  startLogger(paced);
  if (IsSkipped()) return;
  const Transcript t = pilot({"launch", "ports", "controls", kReadCaption, kReadTaskbar, kReadStatus, "geometry",
                              about("mouse-for", roles::kUpdateButton, "Confirm"),  // "Update", clicked with the mouse
                              "dialog 10 Confirm", "answer Confirm Yes", "controls",
                              about("wait-text", roles::kTaskbarWindow, "60 %"), kReadCaption, "dialog 120 Information",
                              "geometry", "percent", kReadStatus, kReadTaskbar, "answer Information OK", "controls",
                              kReadReport, "close",
                              "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;

  // Idle, as started: the logger's port listed and chosen.
  EXPECT_EQ(t.first("ports"), "COM5");
  EXPECT_EQ(t.first("port text"), "COM5");
  expectControls(t, 0, idle());
  EXPECT_EQ(t.first(about("control", roles::kFileButton)).rfind("hidden", 0), 0u) << "no \"File\" outside file mode";
  EXPECT_EQ(t.first(about("control", roles::kReadInfoOnlyBox)).rfind("hidden", 0), 0u)
      << "no check box outside service mode";
  EXPECT_EQ(t.first(kReadCaption), kTitle);
  EXPECT_EQ(t.first(kReadTaskbar), kTitle);
  EXPECT_EQ(t.first(kReadStatus), "");
  EXPECT_EQ(t.first("dialog Confirm"), "Do you save your measurements ?\\nDo you really continue without saving ?\\n\\n"
                                       "COM5: ZorvikB, serial number 100200, version 6.26 -> 6.26 (the newest image for "
                                       "its class)");
  EXPECT_EQ(t.first("dialog Confirm buttons"), "Yes, No");

  // Under way: the task-bar button shows the progress, the caption stays.
  expectControls(t, 1, running());
  EXPECT_TRUE(std::regex_match(t.all(kReadTaskbar)[1], std::regex(R"(\d{1,2}%)"))) << t.all(kReadTaskbar)[1];
  EXPECT_EQ(t.all(kReadCaption)[1], kTitle);

  // The end: final message over the lower edge of the main window.
  EXPECT_EQ(t.first("dialog Information"), kSuccess);
  EXPECT_EQ(t.first("dialog Information buttons"), "OK");
  EXPECT_EQ(t.first("percent"), "100");
  EXPECT_EQ(t.all(kReadStatus)[1], kSuccess);
  EXPECT_EQ(t.all(kReadTaskbar)[2], kTitle);
  const Rect main = rectAt(t.last(about("geometry", roles::kMainWindow)), "outer ");
  const Rect message = rectAt(t.first("geometry Information"), "outer ");
  EXPECT_EQ(message.left, main.left + 10);
  EXPECT_EQ(message.width, main.width - 20);
  EXPECT_EQ(message.bottom(), main.bottom() - 10);
  expectControls(t, 2, idle());
  // A dialog as users know it: an icon left of the text, "OK" at the right.
  const std::string icon = t.first("geometry Information icon");
  EXPECT_NE(icon.find(" with icon"), std::string::npos) << icon;
  const Rect text = rectAt(t.first("geometry Information text"), "");
  const Rect ok = rectAt(t.first("geometry Information ok"), "");
  const Rect messageClient = rectAt(t.first("geometry Information"), "client ");
  EXPECT_LE(rectAt(icon, "").right(), text.left);
  EXPECT_GT(ok.left, messageClient.width / 2) << "OK stands at the right";
  EXPECT_LE(ok.right(), messageClient.width);

  const auto report = reportLines(t.first(kReadReport));
  ASSERT_GE(report.size(), 3u) << t.first(kReadReport);
  EXPECT_EQ(report.front().text, kStartLine);
  EXPECT_EQ(report.back().text, kSuccess);
  for (const auto& line : report) EXPECT_FALSE(line.stamp.empty()) << "not stamped hh-nn-ss: " << line.text;
  EXPECT_NE(std::find_if(report.begin(), report.end(), [](const ReportLine& l) { return l.text == "Progress 50%"; }),
            report.end());
  EXPECT_EQ(t.first("exit"), "0");

  EXPECT_EQ(logger_->flash(), dataLinesOfImage12()) << "the whole image was programmed";
  EXPECT_EQ(logger_->restarts(), 1);
}

// The main window as designed: client area 355 x 176 (panel and status bar
// under the menu), every control where the design puts it, by mode.
struct LayoutCase {
  const char* name;
  bool serviceMode;
  const char* arguments;
  const char* update;  // left,top,width,height in the panel
  const char* file;    // "" when hidden
  bool readInfoOnly;
  bool reportShown;
};

const LayoutCase kLayouts[] = {
    {"normal mode", false, "", "40,86,111,32", "", false, false},
    {"f:+ without the access code", false, "f:+ cc:-", "40,86,111,32", "", false, false},
    {"service mode", true, "", "40,86,111,32", "", true, true},
    {"file mode", true, "F:+", "40,86,55,32", "103,86,55,32", true, true},
};

TEST_F(WineWindow, LayoutAndVisibilityByMode) {
  for (const auto& c : kLayouts) {
    SCOPED_TRACE(c.name);
    setServiceMode(c.serviceMode);
    const Transcript t = pilot({std::string("launch ") + c.arguments, "sleep 300", "controls", "geometry",
                                "absent Report", "close", "wait-exit 20"});
    ASSERT_TRUE(t.completed()) << t.raw;
    const Rect client = rectAt(t.first(about("geometry", roles::kMainWindow)), "client ");
    EXPECT_EQ(client.width, 355);
    EXPECT_EQ(t.first(about("geometry", roles::kPortBox)), "77,11,263,21");
    EXPECT_EQ(t.first(about("geometry", roles::kProgressBar)), "13,46,327,26");
    EXPECT_EQ(t.first(about("geometry", roles::kUpdateButton)), c.update);
    EXPECT_EQ(t.first(about("geometry", roles::kCloseButton)), "200,86,111,32");
    EXPECT_EQ(t.first(about("geometry", roles::kCancelButton)), "200,86,111,32") << "Cancel lies exactly over Close";
    // The status bar under the panel, as designed 15 high or as high as its
    // text needs: a line of the text fits inside its part's sunken edge.
    const Rect status = rectAt(t.first(about("geometry", roles::kStatusBar)), "");
    EXPECT_EQ(status.left, 0);
    EXPECT_EQ(status.top, 161);
    EXPECT_EQ(status.width, 355);
    EXPECT_GE(status.height, 15);
    EXPECT_EQ(client.height, 161 + status.height) << "nothing below the status bar";
    std::smatch room;
    const std::string roomText = t.first("status room");
    ASSERT_TRUE(std::regex_match(roomText, room, std::regex(R"(part (\d+) line (\d+))"))) << roomText;
    EXPECT_GE(std::stoi(room[1]) - 2, std::stoi(room[2])) << "the status text is cut off at the bottom";
    const std::string fileButton = t.first(about("control", roles::kFileButton));
    EXPECT_EQ(fileButton.rfind(*c.file ? "shown" : "hidden", 0), 0u) << fileButton;
    if (*c.file) {
      EXPECT_EQ(t.first(about("geometry", roles::kFileButton)), c.file);
    }
    EXPECT_EQ(t.first(about("control", roles::kReadInfoOnlyBox)),
              std::string(c.readInfoOnly ? "shown" : "hidden") + " enabled unchecked \"Read info only\"");
    // The trace is a service-mode option, like reading the info only.
    EXPECT_EQ(t.first(about("control", roles::kTraceBox)),
              std::string(c.readInfoOnly ? "shown" : "hidden") + " enabled unchecked \"Write trace\"");
    if (c.readInfoOnly) {
      EXPECT_EQ(t.first(about("geometry", roles::kReadInfoOnlyBox)), "26,134,116,14");
      EXPECT_EQ(t.first(about("geometry", roles::kTraceBox)), "200,134,111,14") << "under Close, beside Read info only";
    }
    EXPECT_EQ(t.first("window Report"), c.reportShown ? "shown" : "absent");
    if (c.reportShown) {
      // Docked: directly under the main window, as wide as it.
      const Rect main = rectAt(t.first(about("geometry", roles::kMainWindow)), "outer ");
      const Rect report = rectAt(t.first("geometry Report"), "outer ");
      EXPECT_EQ(report.left, main.left);
      EXPECT_EQ(report.top, main.bottom());
      EXPECT_EQ(report.width, main.width);
    }
  }
}

// Every mode that asks before "Update": the logger is asked who it is, the
// question names it under its two lines, and "No" (or Escape) starts nothing.
struct QuestionCase {
  const char* name;
  bool serviceMode;
  const char* arguments;
  const char* status;  // at start-up
  const char* question;
  const char* answer;  // a pilot command
};

// The logger as the question names it.
constexpr const char* kNamed =
    "\\n\\nCOM5: ZorvikB, serial number 410001, version 6.20 -> 6.26 (the newest image for its class)";

const QuestionCase kQuestions[] = {
    {"normal mode, No", false, "", "", "Do you save your measurements ?\\nDo you really continue without saving ?",
     "answer Confirm No"},
    {"mf:+ in normal mode, Escape", false, "mf:+", "F",
     "This update clears all measurements!\\nDo you really continue ?", "keys escape"},
    {"mf:+ in service mode, No", true, "MF:+", "F", "This update clears all measurements!\\nDo you really continue ?",
     "answer Confirm No"},
};

TEST_F(WineWindow, QuestionNamesTheLoggerAndNoStartsNothing) {
  LoggerConfig older;
  older.appVersion = 0x0614;
  older.serialNumber = 410001;
  startLogger(older);
  if (IsSkipped()) return;
  for (const auto& c : kQuestions) {
    SCOPED_TRACE(c.name);
    setServiceMode(c.serviceMode);
    const Transcript t = pilot({std::string("launch ") + c.arguments, kReadStatus, kClickUpdate, "dialog 10 Confirm",
                                c.answer, "gone 10 Confirm", "sleep 500", "controls", kReadReport, kReadTaskbar,
                                "close", "wait-exit 20"});
    ASSERT_TRUE(t.completed()) << t.raw;
    EXPECT_EQ(t.first(kReadStatus), c.status);
    EXPECT_EQ(t.first("dialog Confirm"), std::string(c.question) + kNamed);
    EXPECT_EQ(t.first("dialog Confirm buttons"), "Yes, No");
    expectControls(t, 0, idle());
    EXPECT_EQ(t.first(kReadReport), "") << "no run was started";
    EXPECT_EQ(t.first(kReadTaskbar), kTitle);
    const std::vector<Request> requests = logger_->requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), Request::IdentityQuery), requests.end());
    for (const Request r : requests) {
      EXPECT_TRUE(r == Request::NullFrame || r == Request::IdentityQuery || r == Request::SerialQuery)
          << "only asked who it is, nothing written: request " << static_cast<int>(r);
    }
    EXPECT_EQ(logger_->mode(), sim::Mode::Application);
  }
}

// At the line's real pace programming takes minutes: there is time to cancel.
LoggerConfig paced() {
  LoggerConfig c;
  c.wireTiming = true;
  return c;
}

TEST_F(WineWindow, CancelDuringRunGivesProcessCancelled) {
  startLogger(paced());
  if (IsSkipped()) return;
  setServiceMode(true);  // no question: "Update" starts at once
  const Transcript t = pilot({"launch", kClickUpdate, about("wait-text", roles::kTaskbarWindow, "120 %"), "controls",
                              about("click", roles::kCancelButton), "dialog 30 Information", kReadStatus,
                              kReadTaskbar, "answer Information OK", "controls", kReadReport, "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  expectControls(t, 0, running());
  EXPECT_EQ(t.first("dialog Information"), "Process cancelled!");
  EXPECT_EQ(t.first(kReadStatus), "Process cancelled!");
  EXPECT_EQ(t.last(kReadTaskbar), kTitle);
  expectControls(t, 1, idle());
  const auto report = reportTexts(t.first(kReadReport));
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.back(), "Process cancelled!");
  EXPECT_LT(logger_->flashWrites().size(), dataLinesOfImage12().size()) << "programming stopped part-way";
}

// A logger that does not answer: the run ends for lack of answers, the
// window waits its pause and starts the run again by itself, still under
// way, and the repeat goes through.
TEST_F(WineWindow, NoAnswerIsRepeatedByItself) {
  startLogger();
  if (IsSkipped()) return;
  logger_->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 5});  // one run's five attempts
  setServiceMode(true);
  const Transcript t = pilot({"launch",
                              about("click", roles::kReadInfoOnlyBox),  // the repeat need not program
                              kClickUpdate,
                              about("wait-text", roles::kStatusBar, "60 Repeat update because communication error!"),
                              about("mouse", roles::kReadInfoOnlyBox),  // a real click, during the pause
                              kReadStatus, "controls", "dialog 60 Information", "answer Information OK", "controls",
                              kReadReport, "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  // The pause takes no input. Judged only when the click surely fell into
  // it: the next run's first line had not yet replaced the status text.
  if (t.all(kReadStatus)[1] == "Repeat update because communication error!") {
    EXPECT_EQ(t.first(about("control", roles::kReadInfoOnlyBox)), "shown enabled checked \"Read info only\"");
  }
  expectControls(t, 0, running());  // no return to idle between the attempts
  EXPECT_EQ(t.first("dialog Information"), "Only read update info!");
  expectControls(t, 1, idle());
  const auto report = reportTexts(t.first(kReadReport));
  ASSERT_GE(report.size(), 4u);
  EXPECT_EQ(report[0], kStartLine);
  EXPECT_EQ(report[1], "Repeat update because communication error!");
  EXPECT_EQ(report[2], kStartLine) << "the repeat appends to the same report";
  EXPECT_EQ(report.back(), "Only read update info!");
  EXPECT_TRUE(logger_->flashWrites().empty());
}

// Cancel during the pause before the repeat (Escape, with the focus on
// "Cancel"): the one input the pause takes. The update ends after the pause
// with "Process cancelled!", and no repeat reaches the logger.
TEST_F(WineWindow, CancelDuringThePauseEndsTheUpdateWithoutTheRepeat) {
  startLogger();
  if (IsSkipped()) return;
  logger_->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 5});  // one run's five attempts
  setServiceMode(true);
  const Transcript t = pilot({"launch", kClickUpdate,
                              about("wait-text", roles::kStatusBar, "60 Repeat update because communication error!"),
                              "focus", "keys escape", "dialog 30 Information", kReadStatus, "answer Information OK",
                              "controls", kReadReport, "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.first("focus"), roles::kCancelButton);
  EXPECT_EQ(t.first("dialog Information"), "Process cancelled!");
  EXPECT_EQ(t.last(kReadStatus), "Process cancelled!");
  expectControls(t, 0, idle());
  EXPECT_EQ(reportTexts(t.first(kReadReport)),
            (std::vector<std::string>{kStartLine, "Repeat update because communication error!", "Process cancelled!"}));
  const auto requests = logger_->requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), Request::IdentityQuery), 5) << "only the first run's attempts";
}

// Outside service mode nobody sees the report: a failed update's message
// names the cause and the fix under the error text; the status keeps the
// error text alone.
TEST_F(WineWindow, NormalModeFailureNamesCauseAndFixInTheMessage) {
  const Transcript t = pilot({"launch", "set-port COM9", kClickUpdate, "dialog 10 Confirm", "answer Confirm Yes",
                              "dialog 30 Information", kReadStatus, "answer Information OK", "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  const std::string error = "Aborted because serial port \"COM9\" is not ready!";
  const std::string message = t.first("dialog Information");
  EXPECT_EQ(message.rfind(error + "\\n\\nCause: ", 0), 0u) << message;
  EXPECT_NE(message.find("\\nFix: "), std::string::npos) << message;
  EXPECT_EQ(t.first(kReadStatus), error);
}

// "Info" -> "About": the program's name and the version the project was built as.
TEST_F(WineWindow, AboutNamesTheProgramAndItsVersion) {
  // "Firmware", "Check port", then "About".
  const Transcript t = pilot({"launch", "keys f10 down down down enter", "dialog 10 About", "answer About OK", "close",
                              "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.first("dialog About"), std::string(kTitle) + "\\nVersion " + ZORVIK_VERSION);
  EXPECT_EQ(t.first("dialog About buttons"), "OK");
}

// The rows of the built-in images, newest first, as the overview lists them.
constexpr std::array<const char*, 12> kImageRows{
    "ZorvikB | 6.26 | F5335 B | A9g | 24.04.2025 16:11:52 | 3.0",
    "ZorvikB | 6.20 | F5335 B | A9f | 21.09.2023 16:20:06 | 3.0",
    "ZorvikB | 5.180 | F5335 | A9f | 07.02.2023 10:48:10 | 3.0",
    "ZorvikB | 5.180 | F5328 A | A9e | 07.02.2023 10:47:42 | 3.0",
    "ZorvikB | 5.136 | F5328 A | A9d | 06.07.2020 13:03:08 | 3.0",
    "ZorvikB | 5.134 | F5328 A | A9d | 12.08.2020 08:01:44 | 3.0",
    "ZorvikB | 5.126 | F5328 A | A9b | 12.04.2019 08:56:26 | 3.0",
    "ZorvikB | 5.42 | F1611 B | A6/A7/A8 | 16.11.2012 13:15:56 | 2.1",
    "ZorvikB | 5.18 | F1611 B | A5 | 03.02.2011 19:30:56 | 2.0",
    "ZorvikB | 5.08 | F1612 B | A2 | 27.01.2010 10:04:04 | 2.0",
    "ZorvikB | 4.08 | F1612 B | A1 | 26.06.2009 14:37:42 | 2.0",
    "ZorvikB | 3.20 | F1612 A | A0 | 18.06.2009 16:27:52 | 2.0",
};

// The overview's geometry: over the main window (same top-left corner and
// height), each column as wide as its header and its widest cell need plus
// 5, and the client area 30 wider than the columns.
void expectOverviewLaidOut(const Transcript& t) {
  const Rect main = rectAt(t.last(about("geometry", roles::kMainWindow)), "outer ");
  const std::string overview = t.first("overview");
  const Rect outer = rectAt(overview, "outer ");
  EXPECT_EQ(outer.left, main.left);
  EXPECT_EQ(outer.top, main.top);
  EXPECT_EQ(outer.height, main.height);
  int sum = 0;
  for (int c = 0; c < 6; ++c) {
    const std::string line = t.first("overview column " + std::to_string(c));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, std::regex(R"(width (\d+) header (\d+) widest (\d+))"))) << line;
    const int width = std::stoi(m[1]);
    EXPECT_GE(width, std::max(std::stoi(m[2]), std::stoi(m[3])) + 5) << line;
    sum += width;
  }
  EXPECT_EQ(rectAt(overview, "client ").width, sum + 30);
}

TEST_F(WineWindow, OverviewListsTheTwelveImages) {
  // "Info" -> "Firmware" with the keyboard: F10, down into the menu, Enter.
  const Transcript t = pilot({"launch", "geometry", "keys f10 down enter", "dialog 10 Overview", "overview",
                              "keys escape", "gone 10 Overview",
                              // "Firmware", "Check port", "About", then "Exit": no "File version" outside file mode.
                              "keys f10 down down down down enter", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.first("dialog Overview buttons"), "OK");
  const std::string columns[] = {"Firmware", "Version", "Platform", "Print", "Date", "BL"};
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(t.first("overview column " + std::to_string(c)).rfind(columns[c] + " width", 0), 0u);
  }
  EXPECT_NE(t.first("overview").find(" rows 12"), std::string::npos) << t.first("overview");
  for (std::size_t r = 0; r < kImageRows.size(); ++r) EXPECT_EQ(t.first("overview row " + std::to_string(r)), kImageRows[r]);
  expectOverviewLaidOut(t);
  EXPECT_EQ(t.first("exit"), "0");
}

// File mode: "File version" reads a file's header and shows it on top of the
// built-in images; the dialog starts nothing.
TEST_F(WineWindow, FileModeShowsFileAndFileVersion) {
  startLogger();
  if (IsSkipped()) return;
  setServiceMode(true);
  const std::string image5 = windowsPath(std::string(ZORVIK_FIRMWARE_DIR) + "/image05.txt");
  const Transcript t = pilot({"launch f:+", "controls", "geometry",
                              // "Info" -> "File version": the second entry in file mode.
                              "keys f10 down down enter", "file-dialog 20 " + image5, "dialog 10 Overview",
                              "overview", "answer Overview OK", kReadReport, "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.first(about("control", roles::kFileButton)), "shown enabled \"File\"");
  EXPECT_EQ(t.first(about("control", roles::kReadInfoOnlyBox)), "shown enabled unchecked \"Read info only\"");
  EXPECT_NE(t.first("overview").find(" rows 13"), std::string::npos) << t.first("overview");
  EXPECT_EQ(t.first("overview row 0"), kImageRows[7]) << "image 5's header, from the file, on top";
  EXPECT_EQ(t.first("overview row 1"), kImageRows[0]);
  expectOverviewLaidOut(t);
  EXPECT_EQ(t.first(kReadReport), "") << "showing a header starts nothing";
  EXPECT_TRUE(logger_->requests().empty());
}

// Service mode from the registry: no question, the check box, the report
// docked under the main window and following it; pictures for the README.
TEST_F(WineWindow, ServiceModeUpdatesWithoutQuestionAndDocksTheReport) {
  const bool pictures = !screenshotCommands("idle").empty();
  // For the pictures, the line at 20 times its real pace: slow enough to
  // catch the update under way.
  LoggerConfig config;
  config.wireTiming = pictures;
  config.clockScale = 20;
  startLogger(config);
  if (IsSkipped()) return;
  setServiceMode(true);
  std::vector<std::string> commands{"launch", "sleep 500"};
  for (const auto& c : screenshotCommands("idle")) commands.push_back(c);
  commands.insert(commands.end(), {"move 100 60", "geometry", kClickUpdate,
                                   about("wait-text", roles::kTaskbarWindow, "60 %")});
  if (pictures) commands.push_back("wait-progress 60 40");
  for (const auto& c : screenshotCommands("running")) commands.push_back(c);
  commands.insert(commands.end(), {"dialog 120 Information"});
  for (const auto& c : screenshotCommands("success")) commands.push_back(c);
  commands.insert(commands.end(), {"answer Information OK", kReadReport, "close", "wait-exit 20"});
  const Transcript t = pilot(commands);
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_FALSE(t.has("dialog Confirm")) << "service mode asks nothing";
  const Rect main = rectAt(t.first(about("geometry", roles::kMainWindow)), "outer ");
  const Rect report = rectAt(t.first("geometry Report"), "outer ");
  EXPECT_EQ(main.left, 100);
  EXPECT_EQ(main.top, 60);
  EXPECT_EQ(report.left, main.left) << "the report follows the main window";
  EXPECT_EQ(report.top, main.bottom());
  EXPECT_EQ(t.first("dialog Information"), kSuccess);
  EXPECT_EQ(reportTexts(t.first(kReadReport)).back(), kSuccess);
  EXPECT_EQ(logger_->flash(), dataLinesOfImage12());
}

// Closing during a run asks; "No" leaves the run going, "Yes" cancels it and
// the program ends once the run has let go of the port.
TEST_F(WineWindow, CloseDuringRunAsksThenCancelsAndWaits) {
  startLogger(paced());
  if (IsSkipped()) return;
  setServiceMode(true);
  const Transcript t = pilot({"launch", kClickUpdate, about("wait-text", roles::kTaskbarWindow, "120 %"), "close",
                              "dialog 10 Confirm", "answer Confirm No", "controls", "close", "answer Confirm Yes",
                              "wait-exit 10"});
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.first("dialog Confirm"), "The update is not finished!\\nDo you really close the program ?");
  expectControls(t, 0, running());
  EXPECT_EQ(t.first("exit"), "0");
  const std::size_t written = logger_->flashWrites().size();
  EXPECT_LT(written, dataLinesOfImage12().size());
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(logger_->flashWrites().size(), written) << "nothing was sent after the program ended";
}

// Keyboard alone: Tab order, Enter on the port box presses "Update", Enter
// answers "Yes", the focus goes to "Cancel" while the run is under way,
// Enter acknowledges the message and Escape closes the idle window. The
// names screen readers read come with it.
TEST_F(WineWindow, KeyboardAloneRunsAnUpdateAndEveryControlHasAName) {
  startLogger();
  if (IsSkipped()) return;
  const Transcript t = pilot({"launch", "focus", "keys tab", "focus", "keys tab", "focus",
                              "keys shift+tab shift+tab", "focus", about("name", roles::kPortBox),
                              about("name", roles::kProgressBar), about("name", roles::kUpdateButton),
                              about("name", roles::kCloseButton), "keys enter", "dialog 10 Confirm", "keys enter",
                              "gone 10 Confirm", "focus", about("name", roles::kCancelButton),
                              "dialog 120 Information", "keys enter", "gone 10 Information", "focus", "keys escape",
                              "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  const std::vector<std::string> focus = t.all("focus");
  ASSERT_EQ(focus.size(), 6u);
  EXPECT_EQ(focus[0], roles::kPortBox);
  EXPECT_EQ(focus[1], roles::kUpdateButton) << "the progress bar is no tab stop";
  EXPECT_EQ(focus[2], roles::kCloseButton);
  EXPECT_EQ(focus[3], roles::kPortBox);
  EXPECT_EQ(focus[4], roles::kCancelButton) << "the focus left the disabled Update button";
  EXPECT_EQ(t.first(about("label", roles::kPortBox)), "Comport:") << "the port box is named by the label before it";
  EXPECT_EQ(t.first(about("name", roles::kProgressBar)), "Progress");
  EXPECT_EQ(t.first(about("name", roles::kUpdateButton)), "Update");
  EXPECT_EQ(t.first(about("name", roles::kCancelButton)), "Cancel");
  EXPECT_EQ(t.first(about("name", roles::kCloseButton)), "Close");
  EXPECT_EQ(t.first("dialog Information"), kSuccess);
  EXPECT_EQ(t.first("exit"), "0");
  EXPECT_EQ(logger_->flash(), dataLinesOfImage12());
}

// Plugging and unplugging: the list is read again from the serial port map
// on a port's arrival or removal, keeps the text the box shows, and drops
// open for the user; other notifications leave it alone.
TEST_F(WineWindow, PortListFollowsPlugAndUnplug) {
  startLogger();
  if (IsSkipped()) return;
  const Transcript t = pilot({"launch", "ports", "device-change arrival volume", "ports", "plug VCP7 COM8", "ports",
                              "keys escape", "unplug VCP0", "ports", "keys escape", "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  const auto lists = t.all("ports");
  const auto texts = t.all("port text");
  const auto drops = t.all("port list");
  ASSERT_EQ(lists.size(), 4u);
  EXPECT_EQ(lists[0], "COM5");
  EXPECT_EQ(lists[1], "COM5") << "a volume leaves the list alone";
  EXPECT_EQ(drops[1], "closed");
  EXPECT_EQ(lists[2], "COM5, COM8");
  EXPECT_EQ(drops[2], "open") << "the new list is shown at once";
  EXPECT_EQ(lists[3], "COM8");
  EXPECT_EQ(texts[3], "COM5") << "the box keeps its text when the port goes";
}

}  // namespace
}  // namespace zorvik::wine
