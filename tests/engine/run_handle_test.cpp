// A run on a thread of its own, owned by its handle: it ends, it can be
// cancelled in the middle of an image, and the port is free the moment the
// handle says the run is done.
#include <future>

#include "engine/run_handle.h"
#include "tests/engine/engine_fixture.h"

namespace zorvik::testing {
namespace {

using namespace std::chrono_literals;

// Far longer than any run here takes; a limit, never a measurement.
constexpr auto kRunLimit = 120s;

class RunHandleTest : public EngineTest {
 protected:
  // A sink that holds the run once the simulator has programmed about 20
  // lines of its image: in the middle of the image, wherever the machine's
  // speed would have put it by then.
  std::shared_ptr<HoldingSink> holdInTheImage() const {
    const sim::SimulatedLogger* logger = logger_.get();
    return std::make_shared<HoldingSink>([logger](const engine::RunEvent& e) {
      return e.code == engine::kEvProgress && logger->flashWrites().size() >= 20;
    });
  }
  bool portFree() const {
    link::PortHandle probe = link::openSerialPort(logger_->devicePath(), 9600);
    const bool free = probe != nullptr;
    link::closeSerialPort(probe);
    return free;
  }
};

TEST_F(RunHandleTest, ARunFinishesAndTheHandleSaysSo) {
  startLogger(loggerFor(12));
  auto sink = std::make_shared<HoldingSink>([](const engine::RunEvent&) { return true; });
  engine::RunHandle handle(request(), sink);
  // Whatever fails below, the run is let go before the handle waits for it.
  struct ReleaseAtExit {
    HoldingSink& sink;
    ~ReleaseAtExit() { sink.release(); }
  } releaseAtExit{*sink};
  ASSERT_TRUE(sink->waitUntilHeld(kRunLimit));
  // The run is held in its first post: it cannot be done.
  EXPECT_FALSE(handle.done());
  EXPECT_FALSE(handle.waitFor(10ms));
  sink->release();
  ASSERT_TRUE(handle.waitFor(kRunLimit));
  EXPECT_TRUE(handle.done());
  EXPECT_TRUE(handle.waitFor(0ms)) << "a finished run stays finished";
  const auto events = sink->events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), (Event{0, 0}));
  EXPECT_EQ(sink->finalCount(), 1);
  EXPECT_EQ(writtenLines(*logger_), flashOrder(images::ImageSource(), 12));
}

TEST_F(RunHandleTest, OneFinalEventAndThePortIsFreeOnceDone) {
  startLogger({});
  auto sink = std::make_shared<RecordingSink>();
  engine::RunRequest r = request();
  r.command = engine::RunCommand::Reserved1;
  engine::RunHandle handle(std::move(r), sink);
  ASSERT_TRUE(handle.waitFor(kRunLimit));
  EXPECT_EQ(sink->events(), (std::vector<Event>{{0, 1}}));
  EXPECT_TRUE(portFree());
}

TEST_F(RunHandleTest, CancelInTheMiddleOfTheImageEndsWithTwentyAndFreesThePort) {
  startLogger(loggerFor(12));
  auto sink = holdInTheImage();
  engine::RunHandle handle(request(), sink);
  ASSERT_TRUE(sink->waitUntilHeld(kRunLimit));
  handle.cancel();
  sink->release();
  ASSERT_TRUE(handle.waitFor(kRunLimit));
  EXPECT_TRUE(portFree()) << "the port must be free as soon as the run is done";
  EXPECT_EQ(sink->events().back(), (Event{10, 20}));
  EXPECT_EQ(sink->finalCount(), 1);
  const std::size_t written = logger_->flashWrites().size();
  EXPECT_GE(written, 20u);
  EXPECT_LT(written, dataLines(12).size()) << "the run went on past the cancel";
  EXPECT_EQ(logger_->restarts(), 0);
}

// Destroying the handle waits for the run; after a cancel that wait ends.
// The test bounds it with its own limit instead of timing it.
TEST_F(RunHandleTest, DestroyingTheHandleOfACancelledRunReturns) {
  startLogger(loggerFor(12));
  auto sink = holdInTheImage();
  auto handle = std::make_unique<engine::RunHandle>(request(), sink);
  ASSERT_TRUE(sink->waitUntilHeld(kRunLimit));
  handle->cancel();
  sink->release();  // the run goes on, and meets the cancel at its next exchange
  auto destroyed = std::make_shared<std::promise<void>>();
  std::future<void> done = destroyed->get_future();
  std::thread destroyer([handle = std::move(handle), destroyed]() mutable {
    handle.reset();
    destroyed->set_value();
  });
  if (done.wait_for(kRunLimit) != std::future_status::ready) {
    // Leave the stuck run what it uses rather than pull it away under it.
    destroyer.detach();
    (void)logger_.release();
    FAIL() << "destroying the handle of a cancelled run did not return";
  }
  destroyer.join();
  EXPECT_EQ(sink->events().back(), (Event{10, 20})) << "the run had ended when the handle was gone";
  EXPECT_EQ(sink->finalCount(), 1);
}

// An update and its automatic repeats share one request, and so one cancel:
// a cancel that comes after an attempt has ended stops the next attempt
// before it sends anything.
TEST_F(RunHandleTest, ACancelAfterOneAttemptStopsTheRepeatBeforeItSendsAFrame) {
  startLogger(loggerFor(12));
  const engine::RunRequest update = request();
  auto firstSink = std::make_shared<RecordingSink>();
  {
    engine::RunHandle first(update, firstSink);
    ASSERT_TRUE(first.waitFor(kRunLimit));
    ASSERT_EQ(firstSink->events().back(), (Event{0, 0}));
    first.cancel();
  }
  const std::size_t requestsBefore = requestsSoFar().size();

  auto secondSink = std::make_shared<RecordingSink>();
  {
    engine::RunHandle repeat(update, secondSink);
    ASSERT_TRUE(repeat.waitFor(kRunLimit));
  }
  EXPECT_EQ(secondSink->events(), (std::vector<Event>{{10, 20}}));
  EXPECT_EQ(requestsSoFar().size(), requestsBefore + 1) << "only the test's own probe reached the logger";
}

}  // namespace
}  // namespace zorvik::testing
