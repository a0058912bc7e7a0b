// "Check port" in the window's "Info" menu, under Wine: the doctor's checks of
// the port in the port box, run aside while the window goes on, shown in a
// window of their own exactly as the command line's --doctor prints them.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "tests/wine/window_fixture.h"

namespace zorvik::wine {
namespace {

using sim::FaultKind;
using sim::Request;

// "Info" -> "Check port" with the keyboard: the entry after "Firmware"
// outside file mode.
constexpr const char* kOpenCheck = "keys f10 down down enter";
constexpr const char* kIdleUpdate = "shown enabled \"Update\"";

// What `zorvik-updater-cli --doctor --port PORT` prints, line by line.
std::vector<std::string> doctorLines(WineSession& wine, const std::string& port) {
  const RunResult doctor = wine.runUpdater({"--doctor", "--port", port});
  std::vector<std::string> lines;
  std::istringstream in(doctor.out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

struct CheckCase {
  const char* port;
  const char* line;  // one of the lines the window must show
};

const CheckCase kChecks[] = {
    {"COM5", "ok      logger: a logger answers in its application: class 26113 [ZorvikB], version 6.26, serial number 100200"},
    {"COM9", "fail    serial-map: COM9 is not in the serial port map: no such port; fix: is the adapter plugged in? see "
             "zorvik-updater-cli --list-ports"},
};

TEST_F(WineWindow, CheckPortShowsWhatTheDoctorFinds) {
  startLogger();
  if (IsSkipped()) return;
  std::vector<std::string> commands{"launch"};
  for (const auto& c : kChecks) {
    commands.insert(commands.end(), {std::string("set-port ") + c.port, kOpenCheck, "dialog 10 Check port",
                                     about("wait-text", roles::kFindingsText, "60 summary:"), "controls",
                                     "answer Check port Close", "gone 10 Check port"});
  }
  // An empty port box; Escape closes the window as "Close" does.
  commands.insert(commands.end(), {"set-port", kOpenCheck, "dialog 10 Check port",
                                   about("text", roles::kFindingsText), "keys escape", "gone 10 Check port", "close",
                                   "wait-exit 20"});
  const Transcript t = pilot(commands);
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.first("dialog Check port buttons"), "Close");

  const auto texts = t.all(about("text", roles::kFindingsText));
  ASSERT_EQ(texts.size(), std::size(kChecks) + 1);
  for (std::size_t i = 0; i < std::size(kChecks); ++i) {
    SCOPED_TRACE(kChecks[i].port);
    const std::vector<std::string> shown = textLines(texts[i]);
    EXPECT_NE(std::find(shown.begin(), shown.end(), kChecks[i].line), shown.end()) << texts[i];
    EXPECT_EQ(shown, doctorLines(wine_, kChecks[i].port)) << "the window shows what --doctor prints";
    EXPECT_EQ(t.all(about("control", roles::kUpdateButton))[i], kIdleUpdate)
        << "Update is back once the check has ended";
  }
  EXPECT_EQ(texts.back().rfind("No port chosen", 0), 0u) << texts.back();
  EXPECT_EQ(t.first("exit"), "0");
}

// A logger that does not answer: the wake-up takes its five attempts, a
// second or two, and the window goes on meanwhile. Closing the check's
// window does not stop the check; closing the program during one ends it.
TEST_F(WineWindow, CheckPortRunsAsideAndCanBeLeftAnyTime) {
  startLogger();
  if (IsSkipped()) return;
  logger_->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 10});  // two checks' five attempts
  const Transcript t = pilot({"launch", kOpenCheck, "dialog 10 Check port", "controls",
                              about("text", roles::kFindingsText), "answer Check port Close", "gone 10 Check port",
                              about("wait-enabled 30", roles::kUpdateButton), "controls", "absent Check port",
                              // The second check, and the program closed while it runs.
                              kOpenCheck, "dialog 10 Check port", "close", "wait-exit 30"});
  ASSERT_TRUE(t.completed()) << t.raw;
  // Judged only when the controls were surely read during the check: its
  // text, read after them, still said so.
  const std::string first = t.first(about("text", roles::kFindingsText));
  if (first == "Checking COM5 ...") {
    EXPECT_EQ(t.all(about("control", roles::kUpdateButton))[0], "shown disabled \"Update\"")
        << "no update while the port is checked";
    EXPECT_EQ(t.all(about("control", roles::kPortBox))[0].rfind("shown enabled", 0), 0u);
  } else {
    EXPECT_NE(first.find("summary: "), std::string::npos) << "the check's text is either of the two: " << first;
  }
  EXPECT_EQ(t.all(about("control", roles::kUpdateButton))[1], kIdleUpdate);
  EXPECT_EQ(t.first("window Check port"), "absent") << "findings of a closed window do not open it again";
  EXPECT_EQ(t.first("exit"), "0");
  const auto requests = logger_->requests();
  EXPECT_GE(std::count(requests.begin(), requests.end(), Request::IdentityQuery), 6)
      << "the first check ran its five attempts, the second began";
}

// During an update the port is the update's: "Check port" is grayed. Under
// Wine no other process can read a menu, so what is judged is what the user
// meets: choosing the entry opens nothing and leaves the update going.
TEST_F(WineWindow, CheckPortStartsNothingDuringAnUpdate) {
  sim::LoggerConfig paced;  // the line's real pace: the update lasts minutes
  paced.wireTiming = true;
  startLogger(paced);
  if (IsSkipped()) return;
  setServiceMode(true);  // no question: "Update" starts at once
  const Transcript t = pilot({"launch", kClickUpdate, about("wait-text", roles::kTaskbarWindow, "120 %"), kOpenCheck,
                              "sleep 500", "absent Check port", about("click", roles::kCancelButton),
                              "dialog 30 Information", "answer Information OK", "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  EXPECT_EQ(t.first("window Check port"), "absent");
  EXPECT_EQ(t.first("dialog Information"), "Process cancelled!") << "the update went on until cancelled";
}

}  // namespace
}  // namespace zorvik::wine
