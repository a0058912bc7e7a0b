// A port where no logger ever answers (a wrong port that exists): a front end
// nobody watches (the command line, the station) ends the update after a few
// runs and names the port as the likely cause; the window keeps repeating
// and shows the same hint in its status from the first repeat on. A logger
// that has answered once keeps its repeats. Real runs on a pseudo-terminal
// with nothing behind it.
#include <algorithm>

#include "engine/event_queue.h"
#include "engine/event_texts.h"
#include "session/window_controller.h"
#include "sim/logger_for_image.h"
#include "tests/session/session_harness.h"
#include "tests/support/silent_pty.h"

namespace zorvik::testing {
namespace {

using sim::FaultKind;
using sim::Request;

constexpr const char* kRepeat = "Repeat update because communication error!";

std::string portHintFor(const std::string& port) {
  return "no logger answers on " + port + ": is this the logger's port?";
}

class SilentPortTest : public SessionTest {
 protected:
  void makeSession(int maxRepeats, int silentRuns) {
    session::SessionSetup setup;
    setup.sink = sink;
    setup.maxRepeats = maxRepeats;
    setup.silentRuns = silentRuns;
    session = std::make_unique<session::UpdateSession>(view, std::move(setup));
  }
  engine::RunRequest silentRequest() {
    engine::RunRequest r = request();
    r.port = pty.path();
    return r;
  }
  SilentPty pty;
};

TEST_F(SilentPortTest, AnUnwatchedUpdateEndsAfterThreeRunsNamingThePort) {
  if (pty.path().empty()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  makeSession(-1, session::kSilentPortRuns);
  session->start(silentRequest());
  ASSERT_TRUE(runToEnd()) << "the repeats never end";
  EXPECT_EQ(session->outcome(), engine::errorValue(engine::ErrorCode::NoAnswer));
  EXPECT_EQ(session->attempts(), 3);
  EXPECT_EQ(view.withPrefix("pause: ").size(), 2u);
  EXPECT_EQ(view.calls.back(), "message: Update failed: no answer from the logger after 3 runs.");
  EXPECT_EQ(view.withPrefix("note: "), std::vector<std::string>{portHintFor(pty.path())});
}

TEST_F(SilentPortTest, ALoggerThatAnsweredOnceKeepsItsRepeats) {
  startLogger(sim::loggerFor(12));
  logger->injectFault({FaultKind::NoAnswer, Request::DataLine, 0, 1000});
  makeSession(4, session::kSilentPortRuns);
  session->start(request());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->outcome(), engine::errorValue(engine::ErrorCode::NoAnswer));
  EXPECT_EQ(session->attempts(), 5) << "--max-repeats 4 is what limits it";
  EXPECT_TRUE(view.withPrefix("hint: ").empty());
  const auto notes = view.withPrefix("note: ");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes.front().rfind("no answer at all", 0), 0u) << notes.front();
}

TEST_F(SilentPortTest, TheWindowRepeatsOnAndHintsFromItsFirstRepeatOn) {
  if (pty.path().empty()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  makeSession(-1, 0);
  // Cancelled during the fourth run's pause: three runs have found nothing.
  int pauses = 0;
  view.onPause = [&](std::chrono::milliseconds) {
    if (++pauses == 4) session->cancel();
  };
  session->start(silentRequest());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->outcome(), engine::errorValue(engine::ErrorCode::Cancelled));
  EXPECT_EQ(session->attempts(), 5);
  const auto& calls = view.calls;
  const std::string hint = "hint: " + portHintFor(pty.path());
  const auto firstRepeat = std::find(calls.begin(), calls.end(), std::string("status: ") + kRepeat);
  const auto firstHint = std::find(calls.begin(), calls.end(), hint);
  ASSERT_NE(firstHint, calls.end());
  EXPECT_LT(firstRepeat, firstHint) << "one silent run says nothing about the port yet";
  EXPECT_EQ(*(firstHint + 1), std::string("status: ") + kRepeat) << "given before the second repeat's status";
  EXPECT_EQ(std::count(calls.begin(), calls.end(), hint), 3);
}

// The window as the controller draws it: only the status is of interest.
class StatusWindow final : public session::WindowView {
 public:
  std::vector<std::string> statuses;
  int pausesAsked = 0;

  void report(const std::string&) override {}
  void setStatus(const std::string& text) override { statuses.push_back(text); }
  void setProgress(int) override {}
  void setLineProgress(const session::LineProgress&) override {}
  void setTaskbarTitle(const std::string&) override {}
  void showMessage(const std::string&, session::MessageIcon) override {}
  void beep() override {}
  void showControls(const session::WindowControls&) override {}
  void clearReport() override {}
  void showOverview(const std::optional<images::ImageHeader>&) override {}
  bool ask(const session::Question&) override { return true; }
  std::optional<session::ChosenFile> chooseFile() override { return std::nullopt; }
  std::string portName() override { return port; }
  bool readInfoOnly() override { return false; }
  bool traceChecked() override { return false; }
  std::string pathText(const std::filesystem::path& path) override { return path.string(); }
  void startPause(std::chrono::milliseconds) override { ++pausesAsked; }
  void processEventsLater() override {}
  void closeLater() override {}
  void keepPainting() override {}
  void forgetRunEvents() override {}
  void postTargetAnswer(const session::TargetAnswer& answer) override { answers.push(answer); }

  std::string port;
  engine::EventQueue<session::TargetAnswer> answers;
};

TEST(SilentPortWindow, TheStatusKeepsItsTextFirstAndAddsTheHint) {
  SilentPty pty;
  if (pty.path().empty()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  auto sink = std::make_shared<QueueSink>();
  StatusWindow window;
  window.port = pty.path();
  session::WindowSetup setup;
  setup.session.sink = sink;
  setup.sleeper = std::make_shared<link::NoPauses>();
  session::WindowController controller(window, std::move(setup));
  controller.updateClicked();
  // Asked who it is before the question, in vain: the question comes all the same.
  const auto answer = window.answers.takeWithin(std::chrono::seconds(30));
  ASSERT_TRUE(answer.has_value()) << "the asking never ended";
  controller.targetAnswered(*answer);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int pausesOver = 0;
  while (controller.running() && std::chrono::steady_clock::now() < deadline) {
    if (controller.pausing()) {
      if (++pausesOver == 3) controller.cancelClicked();
      controller.pauseOver();
      continue;
    }
    if (const auto event = sink->takeWithin(std::chrono::milliseconds(100))) controller.runEventArrived(*event);
  }
  ASSERT_FALSE(controller.running());
  const std::string start = engine::startText(pty.path());
  const std::string hinted = " (" + portHintFor(pty.path()) + ")";
  const std::vector<std::string> expected = {
      session::askingLoggerText(pty.path()), "",  // the asking before the question, then the status as it was
      start, kRepeat,                              // the first run: nothing said of the port yet
      start, std::string(kRepeat) + hinted,        // the first repeat found nothing either
      start + hinted, std::string(kRepeat) + hinted,
      "Process cancelled!" + hinted,  // cancelled in the pause: the update ends after it
  };
  ASSERT_GE(window.statuses.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(window.statuses.begin(), window.statuses.begin() + 9), expected);
  EXPECT_EQ(window.statuses.back().rfind("Process cancelled!", 0), 0u) << window.statuses.back();
}

}  // namespace
}  // namespace zorvik::testing
