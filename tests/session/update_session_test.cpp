// The run logic of a front end, without any toolkit: what is drawn around a
// run, the automatic repeats and their limit, cancel, and the controls.
#include <algorithm>

#include "engine/event_texts.h"
#include "sim/logger_for_image.h"
#include "tests/session/session_harness.h"

namespace zorvik::testing {
namespace {

using sim::FaultKind;
using sim::Request;

constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";

std::size_t indexOf(const std::vector<std::string>& calls, const std::string& call) {
  return static_cast<std::size_t>(std::find(calls.begin(), calls.end(), call) - calls.begin());
}

TEST_F(SessionTest, AFullUpdateIsDrawnFromStartToFinalMessage) {
  startLogger(sim::loggerFor(12));
  makeSession();
  session->showIdle();
  session->start(request());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->outcome(), 0);
  EXPECT_EQ(session->attempts(), 1);

  const auto& calls = view.calls;
  const std::string start = "Start at serial port \"" + logger->devicePath() + "\"";
  EXPECT_EQ(calls.front(), std::string("caption: ") + engine::kAppTitle);
  EXPECT_EQ(view.withPrefix("caption: ").size(), 1u) << "the caption is set once";
  EXPECT_LT(indexOf(calls, "report: " + start), indexOf(calls, "controls: running"));
  EXPECT_EQ(calls.back(), std::string("message: ") + kSuccess) << "the final message comes last";
  const auto reports = view.withPrefix("report: ");
  EXPECT_EQ(reports.front(), start);
  EXPECT_EQ(reports.back(), kSuccess);
  EXPECT_NE(std::find(reports.begin(), reports.end(), "Update ZorvikB V6.26, A9g, BL3.0"), reports.end());
  // The task-bar title follows the progress while the image goes out, and is
  // the program's own again at the end.
  const auto titles = view.withPrefix("title: ");
  EXPECT_EQ(titles.back(), engine::kAppTitle);
  EXPECT_NE(std::find(titles.begin(), titles.end(), "50%"), titles.end());
  EXPECT_EQ(view.withPrefix("progress: ").back(), "100");
  EXPECT_EQ(view.withPrefix("controls: ").back(), "idle");
  EXPECT_TRUE(view.withPrefix("beep").empty()) << "success does not beep";
}

TEST_F(SessionTest, NoAnswerRepeatsAfterThePauseWithStatusBeforeReport) {
  startLogger(sim::loggerFor(12));
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 5});
  makeSession();
  session->start(request());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->outcome(), 0);
  EXPECT_EQ(session->attempts(), 2);
  const auto& calls = view.calls;
  const std::size_t status = indexOf(calls, "status: Repeat update because communication error!");
  const std::size_t report = indexOf(calls, "report: Repeat update because communication error!");
  const std::size_t pause = indexOf(calls, "pause: 1500");
  ASSERT_LT(pause, calls.size());
  EXPECT_LT(status, report);
  EXPECT_LT(report, pause);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "controls: idle"), 1) << "the update stays under way through the pause";
  EXPECT_EQ(calls.back(), std::string("message: ") + kSuccess);
}

TEST_F(SessionTest, EchoErrorRepeatsAtOnceWithoutAMessage) {
  startLogger(sim::loggerFor(12));
  logger->injectFault({FaultKind::AlteredEcho, Request::DataLine, 10});
  makeSession();
  session->start(request());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->outcome(), 0);
  EXPECT_EQ(session->attempts(), 2);
  EXPECT_TRUE(view.withPrefix("pause: ").empty());
  const auto reports = view.withPrefix("report: ");
  EXPECT_NE(std::find(reports.begin(), reports.end(), "Aborted because programming error at line 10 !"), reports.end());
  EXPECT_NE(std::find(reports.begin(), reports.end(), "Repeat because programming error!"), reports.end());
  EXPECT_EQ(view.withPrefix("message: "), std::vector<std::string>{kSuccess});
  EXPECT_EQ(logger->restarts(), 1);
}

struct LimitCase {
  const char* name;
  sim::Fault fault;
  int maxRepeats;
  session::Outcome outcome;
  const char* lastMessage;
};

class RepeatLimit : public SessionTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RepeatLimit, EndsTheUpdateAfterTheLastAllowedRun) {
  const LimitCase& c = GetParam();
  startLogger(sim::loggerFor(12));
  logger->injectFault(c.fault);
  makeSession(c.maxRepeats);
  session->start(request());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->outcome(), c.outcome);
  EXPECT_EQ(session->attempts(), c.maxRepeats + 1);
  EXPECT_EQ(view.withPrefix("controls: ").back(), "idle");
  EXPECT_EQ(view.calls.back(), std::string("message: ") + c.lastMessage) << "no repeat is promised after the last run";
  EXPECT_EQ(view.withPrefix("report: ").back(), c.lastMessage);
  // A pause comes only before a repeat that is made.
  if (c.outcome == engine::errorValue(engine::ErrorCode::NoAnswer)) {
    EXPECT_EQ(view.withPrefix("pause: ").size(), static_cast<std::size_t>(c.maxRepeats));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RepeatLimit,
    ::testing::Values(LimitCase{"NoAnswerNoRepeat", {FaultKind::NoAnswer, Request::IdentityQuery, 0, 1000}, 0, 30,
                                "Update failed: no answer from the logger after 1 run."},
                      LimitCase{"NoAnswerTwoRepeats", {FaultKind::NoAnswer, Request::IdentityQuery, 0, 1000}, 2, 30,
                                "Update failed: no answer from the logger after 3 runs."},
                      LimitCase{"EchoErrorTwoRepeats", {FaultKind::AlteredEcho, Request::DataLine, 0, 1000}, 2, 44,
                                "Update failed: the logger's echo differed after 3 runs."}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST_F(SessionTest, CancelDuringThePauseStopsTheRepeatBeforeItSendsAnything) {
  startLogger(sim::loggerFor(12));
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 1000});
  makeSession();
  view.onPause = [this](std::chrono::milliseconds) { session->cancel(); };
  session->start(request());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->outcome(), engine::errorValue(engine::ErrorCode::Cancelled));
  EXPECT_EQ(session->attempts(), 2);
  EXPECT_EQ(count(Request::IdentityQuery), 5u) << "only the first run's five attempts";
  EXPECT_EQ(view.calls.back(), "message: Process cancelled!");
}

TEST_F(SessionTest, CancelInTheImageEndsWithProcessCancelled) {
  startLogger(sim::loggerFor(12));
  makeSession();
  session->start(request());
  while (session->running()) {
    if (const auto event = sink->takeWithin(std::chrono::milliseconds(100))) session->handleEvent(*event);
    if (count(Request::DataLine) >= 20) session->cancel();
  }
  EXPECT_EQ(session->outcome(), engine::errorValue(engine::ErrorCode::Cancelled));
  EXPECT_EQ(logger->restarts(), 0);
  const auto& calls = view.calls;
  EXPECT_LT(indexOf(calls, "beep"), indexOf(calls, "message: Process cancelled!"));
  EXPECT_EQ(view.withPrefix("controls: ").back(), "idle");
}

TEST_F(SessionTest, PortThatCannotBeOpenedIsErrorTenNamingIt) {
  makeSession();
  session->start(request());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->outcome(), engine::errorValue(engine::ErrorCode::PortNotReady));
  EXPECT_EQ(view.calls.back(), "message: Aborted because serial port \"/dev/zorvik-no-such-port\" is not ready!");
}

TEST_F(SessionTest, NoThreadForTheRunEndsItAsAFatalError) {
  session::SessionSetup setup;
  setup.sink = sink;
  setup.workers = [](engine::RunRequest, std::shared_ptr<engine::EventSink>) -> std::unique_ptr<engine::RunWorker> {
    throw std::runtime_error("no thread");
  };
  session = std::make_unique<session::UpdateSession>(view, std::move(setup));
  session->start(request());
  EXPECT_FALSE(session->running());
  EXPECT_EQ(session->outcome(), engine::errorValue(engine::ErrorCode::Fatal));
  EXPECT_EQ(view.calls.back(), "message: Fatal Exception has occurred!");
}

TEST_F(SessionTest, StartIsIgnoredWhileAnUpdateIsUnderWay) {
  startLogger(sim::loggerFor(12));
  makeSession();
  session->start(request());
  engine::RunRequest other = request();
  other.port = "/dev/zorvik-other";
  session->start(other);
  EXPECT_EQ(session->port(), logger->devicePath());
  ASSERT_TRUE(runToEnd());
  EXPECT_EQ(session->attempts(), 1);
}

TEST(SessionRules, ControlsAndQuestions) {
  const session::Controls running = session::controlsFor(true);
  EXPECT_FALSE(running.updateEnabled || running.fileEnabled || running.fileVersionEnabled || running.portEnabled);
  EXPECT_TRUE(running.cancelShown && running.busyCursor && !running.closeShown);
  const session::Controls idle = session::controlsFor(false);
  EXPECT_TRUE(idle.updateEnabled && idle.fileEnabled && idle.fileVersionEnabled && idle.portEnabled);
  EXPECT_TRUE(!idle.cancelShown && !idle.busyCursor && idle.closeShown);

  struct Case {
    const char* name;
    bool memoryFormat;
    engine::FileMode fileMode;
    const char* line1;  // nullptr: no question
  };
  const Case cases[] = {
      {"normal", false, engine::FileMode::Normal, "Do you save your measurements ?"},
      {"service mode asks nothing", false, engine::FileMode::Service, nullptr},
      {"service mode with files asks nothing", false, engine::FileMode::ServiceWithFiles, nullptr},
      {"memory format always asks", true, engine::FileMode::Service, "This update clears all measurements!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine::StartupOptions options;
    options.memoryFormat = c.memoryFormat;
    options.fileMode = c.fileMode;
    const auto question = session::updateQuestion(options);
    ASSERT_EQ(question.has_value(), c.line1 != nullptr);
    if (question) {
      EXPECT_EQ(question->line1, c.line1);
    }
  }
  EXPECT_EQ(session::closeQuestion().line2, "Do you really close the program ?");
}

}  // namespace
}  // namespace zorvik::testing
