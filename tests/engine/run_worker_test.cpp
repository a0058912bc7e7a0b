// The frame of every run: how a run starts, ends and reports, whatever
// procedure runs inside it.
#include <new>

#include "engine/run_worker.h"
#include "link/crc.h"
#include "link/line_trace.h"
#include "link/serial_port.h"
#include "tests/engine/engine_fixture.h"

namespace zorvik::testing {
namespace {

// The worker's own helpers, reachable from a test.
class OpenWorker final : public engine::RunWorker {
 public:
  using engine::RunWorker::identityBlockCrc;
  using engine::RunWorker::RunWorker;
  using engine::RunWorker::setProgress;
};

engine::RunRequest offlineRequest() {
  engine::RunRequest r;
  r.port = "unused";
  r.sleeper = std::make_shared<link::NoPauses>();
  return r;
}

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
  OpenWorker worker(offlineRequest(), sink);
  std::size_t seen = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(::testing::Message() << step.index << " of " << step.total);
    worker.setProgress(step.index, step.total);
    auto events = sink->events();
    std::vector<Event> fresh(events.begin() + static_cast<std::ptrdiff_t>(seen), events.end());
    seen = events.size();
    EXPECT_EQ(fresh, step.posted);
  }
}

TEST(SetProgress, TotalZeroAfterProgressPostsZero) {
  auto sink = std::make_shared<RecordingSink>();
  OpenWorker worker(offlineRequest(), sink);
  worker.setProgress(10, 20);
  worker.setProgress(5, 0);
  EXPECT_EQ(sink->events(), (std::vector<Event>{{1, 49}, {1, 0}}));
}

TEST(IdentityBlockCrc, EqualsCrc16OverTheWordsLowByteFirst) {
  struct Words {
    std::uint16_t w[5];
  };
  const Words cases[] = {
      {{0x6601, 0x00AB, 24, 53, 0xFFFF}},
      {{0, 0, 0, 0, 0}},
      {{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
      {{0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x0F0F}},
  };
  for (const auto& c : cases) {
    std::uint8_t bytes[10];
    for (int i = 0; i < 5; ++i) {
      bytes[2 * i] = static_cast<std::uint8_t>(c.w[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<std::uint8_t>(c.w[i] >> 8);
    }
    EXPECT_EQ(OpenWorker::identityBlockCrc(c.w[0], c.w[1], c.w[2], c.w[3], c.w[4]), link::crc16(bytes, 10));
  }
  // Swapping two words must change the result: the layout is positional.
  EXPECT_NE(OpenWorker::identityBlockCrc(1, 2, 3, 4, 5), OpenWorker::identityBlockCrc(2, 1, 3, 4, 5));
}

using RunEnd = EngineTest;

// Needs no pseudo-terminal: nothing is ever opened.
TEST(RunStart, MissingPortIsErrorTenAndNothingElse) {
  engine::RunRequest r = offlineRequest();
  r.port = "/dev/zorvik-no-such-port";
  auto sink = std::make_shared<RecordingSink>();
  engine::LoggerUpdate(std::move(r), sink).execute();
  EXPECT_EQ(sink->events(), (std::vector<Event>{{10, 10}}));
}

TEST_F(RunEnd, ReservedCommandsWakeTheLoggerAndSucceed) {
  startLogger({});
  for (engine::RunCommand command : {engine::RunCommand::Reserved1, engine::RunCommand::Reserved2}) {
    const auto ordinal = static_cast<std::int32_t>(command);
    SCOPED_TRACE(ordinal);
    const auto before = logger_->requests().size();
    engine::RunRequest r = request();
    r.command = command;
    EXPECT_EQ(run(std::move(r)), (std::vector<Event>{{0, ordinal}}));
    const auto requests = requestsAtLeast(before + 2);
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests[before], sim::Request::NullFrame);
    EXPECT_EQ(requests[before + 1], sim::Request::NullFrame);
  }
}

TEST_F(RunEnd, SilentLoggerEndsWithEventThirteenCarryingTheCommand) {
  startLogger({});
  logger_->injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 5});
  EXPECT_EQ(run(), (std::vector<Event>{{13, 0}}));
  // Two wake-up pauses, then four pauses between five attempts.
  EXPECT_EQ(sleeper_->pauses(), (std::vector<int>{100, 100, 100, 100, 100, 100}));
}

// A sink that checks, when the final event arrives, that the port is free again.
class PortCheckingSink final : public engine::EventSink {
 public:
  explicit PortCheckingSink(std::string port) : port_(std::move(port)) {}
  void post(engine::RunEvent event) noexcept override {
    if (engine::isFinalEvent(event.code)) {
      link::PortHandle probe = link::openSerialPort(port_, 9600);
      portFreeAtFinal_ = probe != nullptr;
      link::closeSerialPort(probe);
    }
    inner_.post(std::move(event));
  }
  bool portFreeAtFinal() const { return portFreeAtFinal_; }
  std::vector<Event> events() const { return inner_.events(); }

 private:
  std::string port_;
  bool portFreeAtFinal_ = false;
  RecordingSink inner_;
};

TEST_F(RunEnd, CancelIsErrorTwentyWithThePortAlreadyClosed) {
  startLogger({});
  engine::RunRequest r = request();
  r.cancel.cancel();
  auto sink = std::make_shared<PortCheckingSink>(logger_->devicePath());
  {
    engine::LoggerUpdate worker(std::move(r), sink);
    worker.execute();
  }
  EXPECT_EQ(sink->events(), (std::vector<Event>{{10, 20}}));
  EXPECT_TRUE(sink->portFreeAtFinal());
  EXPECT_TRUE(requestsSoFar().empty()) << "nothing may be sent once the run is cancelled";
}

TEST_F(RunEnd, PortIsClosedBeforeEveryKindOfFinalEvent) {
  startLogger({});
  logger_->injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 5});
  auto sink = std::make_shared<PortCheckingSink>(logger_->devicePath());
  {
    engine::LoggerUpdate worker(request(), sink);
    worker.execute();
  }
  EXPECT_EQ(sink->events(), (std::vector<Event>{{13, 0}}));
  EXPECT_TRUE(sink->portFreeAtFinal());
}

class ThrowingWorker final : public engine::RunWorker {
 public:
  using engine::RunWorker::RunWorker;

 protected:
  void runUpdate() override { throw std::bad_alloc(); }
};

// The notes a run leaves in its trace.
class NoteTrace final : public link::LineTrace {
 public:
  void written(const std::uint8_t*, std::size_t) override {}
  void received(const std::uint8_t*, std::size_t) override {}
  void note(const std::string& text) override { notes.push_back(text); }
  std::vector<std::string> notes;
};

// Error 0 is all the final event says; the trace keeps what stopped the run.
TEST_F(RunEnd, ForeignExceptionIsErrorZeroWithItsTextInTheTrace) {
  startLogger({});
  auto sink = std::make_shared<RecordingSink>();
  auto trace = std::make_shared<NoteTrace>();
  engine::RunRequest r = request();
  r.trace = trace;
  {
    ThrowingWorker worker(std::move(r), sink);
    worker.execute();
  }
  EXPECT_EQ(sink->events(), (std::vector<Event>{{10, 0}}));
  ASSERT_GE(trace->notes.size(), 2u);
  EXPECT_EQ(trace->notes[trace->notes.size() - 2], std::string("stopped: ") + std::bad_alloc().what());
  EXPECT_EQ(trace->notes.back(), "event 10 0");
}

// The final event says which way the exchange behind it failed, and nothing
// where no exchange failed: the failure travels with the error, from the
// link (41, 30) or from the procedure (46, 44), to the event.
TEST_F(RunEnd, FinalEventCarriesTheWayTheExchangeFailed) {
  struct Case {
    const char* name;
    std::optional<sim::Fault> fault;
    engine::RunOptions options;
    Event final;
    link::FailureKind failure;
  };
  engine::RunOptions infoOnly;
  infoOnly.readInfoOnly = true;
  const Case cases[] = {
      {"refused identity query", sim::Fault{sim::FaultKind::ExceptionBit, sim::Request::IdentityQuery}, {}, {10, 41},
       link::FailureKind::Refused},
      {"short identity answers", sim::Fault{sim::FaultKind::ShortAnswer, sim::Request::IdentityQuery, 0, 5}, {},
       {13, 0}, link::FailureKind::ShortAnswer},
      {"damaged info answers", sim::Fault{sim::FaultKind::BadChecksum, sim::Request::InfoRequest, 0, 5}, {},
       {10, 46}, link::FailureKind::DamagedAnswer},
      {"changed echo", sim::Fault{sim::FaultKind::AlteredEcho, sim::Request::DataLine, 10}, {}, {10, 44},
       link::FailureKind::EchoDiffers},
      {"information only, nothing failed", std::nullopt, infoOnly, {10, 70}, link::FailureKind::None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    startLogger(loggerFor(12));
    if (c.fault) logger_->injectFault(*c.fault);
    EXPECT_EQ(run(c.options).back(), c.final);
    ASSERT_FALSE(lastRun_.empty());
    EXPECT_EQ(lastRun_.back().failure.kind, c.failure);
  }
}

// The success event names the image that was sent, so that wording it never
// has to ask which image the run chose.
TEST_F(RunEnd, SuccessCarriesTheImageSent) {
  startLogger(loggerFor(12));
  ASSERT_EQ(run().back(), (Event{0, 0}));
  EXPECT_EQ(lastRun_.back().image, images::builtInHeader(12));
}

}  // namespace
}  // namespace zorvik::testing
