// The update thread's frame: how a run starts, ends and reports, whatever
// procedure runs inside it.
#include <new>

#include "crc.h"
#include "engine_fixture.h"
#include "serial_port.h"

namespace zorvik::testing {
namespace {

TEST(SetProgress, PostsOnlyWhenThePercentageChanges) {
  struct Step {
    std::int32_t index, total;
    std::vector<Event> posted;
  };
  const Step steps[] = {
      {5, 0, {}},                       // division by zero gives 0, already shown
      {1, 100, {}},                     // 0.99 truncates to 0, the start value
      {50, 100, {{1, 49}}},
      {50, 100, {}},                    // same percentage: one event only
      {200, 100, {{1, 99}}},            // clamped high
      {-1, 100, {{1, 0}}},              // clamped low
      {5, 0, {}},                       // total 0 with progress already 0
      {522, 523, {{1, 98}}},            // the last line of a 524-line image
      {2'000'000'000, 2'000'000'000, {{1, 99}}},  // no overflow in index * 99
  };
  auto sink = std::make_shared<RecordingSink>();
  TCommThread thread(RunContext{sink, nullptr, &realSleeper()}, tCMD0, "unused");
  std::size_t seen = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(::testing::Message() << step.index << " of " << step.total);
    thread.setProgress(step.index, step.total);
    auto events = sink->events();
    std::vector<Event> fresh(events.begin() + static_cast<std::ptrdiff_t>(seen), events.end());
    seen = events.size();
    EXPECT_EQ(fresh, step.posted);
  }
}

TEST(SetProgress, TotalZeroAfterProgressPostsZero) {
  auto sink = std::make_shared<RecordingSink>();
  TCommThread thread(RunContext{sink, nullptr, &realSleeper()}, tCMD0, "unused");
  thread.setProgress(10, 20);
  thread.setProgress(5, 0);
  EXPECT_EQ(sink->events(), (std::vector<Event>{{1, 49}, {1, 0}}));
}

TEST(CalculateCrc16, EqualsCrc16OverTheWordsLowByteFirst) {
  struct Words {
    std::uint16_t w[5];
  };
  const Words cases[] = {
      {{0x6601, 0x00AB, 24, 53, 0xFFFF}},
      {{0, 0, 0, 0, 0}},
      {{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
      {{0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x0F0F}},
  };
  TCommThread thread(RunContext{std::make_shared<RecordingSink>(), nullptr, &realSleeper()}, tCMD0, "");
  for (const auto& c : cases) {
    std::uint8_t bytes[10];
    for (int i = 0; i < 5; ++i) {
      bytes[2 * i] = static_cast<std::uint8_t>(c.w[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<std::uint8_t>(c.w[i] >> 8);
    }
    EXPECT_EQ(thread.calculateCRC16(c.w[0], c.w[1], c.w[2], c.w[3], c.w[4]), crc16(bytes, 10));
  }
  // Swapping two words must change the result: the layout is positional.
  EXPECT_NE(thread.calculateCRC16(1, 2, 3, 4, 5), thread.calculateCRC16(2, 1, 3, 4, 5));
}

using RunEnd = EngineTest;

TEST_F(RunEnd, MissingPortIsErrorTenAndNothingElse) {
  const auto events = run(tCMD0, nullptr, "/dev/zorvik-no-such-port");
  EXPECT_EQ(events, (std::vector<Event>{{10, 10}}));
}

TEST_F(RunEnd, ReservedCommandsWakeTheLoggerAndSucceed) {
  startLogger({});
  for (TCmd cmd : {tCMD1, tCMD2}) {
    SCOPED_TRACE(int{cmd});
    const auto before = logger->requests().size();
    const auto events = run(cmd);
    EXPECT_EQ(events, (std::vector<Event>{{0, cmd}}));
    const auto requests = requestsAtLeast(before + 2);
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests[before], sim::Request::NullFrame);
    EXPECT_EQ(requests[before + 1], sim::Request::NullFrame);
  }
}

TEST_F(RunEnd, SilentLoggerEndsWithEventThirteenCarryingTheCommand) {
  startLogger({});
  logger->injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 5});
  const auto events = run(tCMD0);
  EXPECT_EQ(events, (std::vector<Event>{{13, 0}}));
  // Two wake-up pauses, then four pauses between five attempts.
  EXPECT_EQ(sleeper.pauses(), (std::vector<int>{100, 100, 100, 100, 100, 100}));
}

// A sink that checks, when the final event arrives, that the port is free again.
class PortCheckingSink final : public EventSink {
 public:
  explicit PortCheckingSink(std::string port) : port_(std::move(port)) {}
  void post(std::uint32_t code, std::int32_t value) noexcept override {
    if (isFinalEvent(code)) {
      PortHandle probe = rs232Open(port_, 9600);
      portFreeAtFinal = probe != nullptr;
      rs232Close(probe);
    }
    inner.post(code, value);
  }
  std::string port_;
  bool portFreeAtFinal = false;
  RecordingSink inner;
};

TEST_F(RunEnd, CancelIsErrorTwentyWithThePortAlreadyClosed) {
  startLogger({});
  CancelRequested = true;
  auto sink = std::make_shared<PortCheckingSink>(logger->devicePath());
  {
    TZorvikCommThread worker(RunContext{sink, nullptr, &sleeper}, tCMD0, logger->devicePath());
    worker.Execute();
  }
  EXPECT_EQ(sink->inner.events(), (std::vector<Event>{{10, 20}}));
  EXPECT_TRUE(sink->portFreeAtFinal);
  EXPECT_TRUE(logger->requests().empty()) << "nothing may be sent once cancel is set";
}

TEST_F(RunEnd, PortIsClosedBeforeEveryKindOfFinalEvent) {
  startLogger({});
  logger->injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 5});
  auto sink = std::make_shared<PortCheckingSink>(logger->devicePath());
  {
    TZorvikCommThread worker(RunContext{sink, nullptr, &sleeper}, tCMD0, logger->devicePath());
    worker.Execute();
  }
  EXPECT_EQ(sink->inner.events(), (std::vector<Event>{{13, 0}}));
  EXPECT_TRUE(sink->portFreeAtFinal);
}

class ThrowingThread final : public TCommThread {
 public:
  using TCommThread::TCommThread;

 protected:
  void runUpdate() override { throw std::bad_alloc(); }
};

TEST_F(RunEnd, ForeignExceptionIsErrorZero) {
  startLogger({});
  auto sink = std::make_shared<RecordingSink>();
  {
    ThrowingThread worker(RunContext{sink, nullptr, &sleeper}, tCMD0, logger->devicePath());
    worker.Execute();
  }
  EXPECT_EQ(sink->events(), (std::vector<Event>{{10, 0}}));
}

TEST_F(RunEnd, WorkerThreadFreesItselfAfterExactlyOneFinalEvent) {
  startLogger({});
  auto sink = std::make_shared<RecordingSink>();
  TCommThread::Create(RunContext{sink, nullptr, &sleeper}, tCMD1, logger->devicePath());
  ASSERT_TRUE(sink->waitForFinal());
  ASSERT_TRUE(waitForWorkers(std::chrono::seconds(10)));
  EXPECT_EQ(sink->events(), (std::vector<Event>{{0, 1}}));
  // The port is free for the next run.
  PortHandle again = rs232Open(logger->devicePath(), 9600);
  EXPECT_NE(again, nullptr);
}

}  // namespace
}  // namespace zorvik::testing
