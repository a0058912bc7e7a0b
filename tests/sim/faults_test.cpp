// Injected faults: each kind damages the answer as it says, aims at the right
// requests, and the queue hands them out in order.
#include <gtest/gtest.h>

#include "tests/sim/sim_test_helpers.h"

namespace zorvik::sim::testing {
namespace {

using namespace std::chrono_literals;

std::uint8_t at(const std::string& s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

LoggerConfig programmingConfig() {
  LoggerConfig config;
  config.startInBootloader = true;
  return config;
}

TEST(FrameFaults, EachKindDamagesTheIdentityAnswerAsItSays) {
  struct Case {
    FaultKind kind;
    std::size_t size;
    bool crcRight;
    bool exceptionBit;
  };
  const Case cases[] = {
      {FaultKind::ShortAnswer, 7, false, false},
      {FaultKind::BadCrc, 8, false, false},
      {FaultKind::BadCrcWithException, 8, false, true},
      {FaultKind::ExceptionBit, 8, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    ModelDriver sim(LoggerConfig{});
    sim.model.injectFault({c.kind, Request::IdentityQuery});
    const std::string answer = sim.ask(kIdentityQuery);
    ASSERT_EQ(answer.size(), c.size);
    EXPECT_EQ((at(answer, 0) & 0x20) != 0, c.exceptionBit);
    if (c.size == 8) {
      EXPECT_EQ(at(answer, 7) == referenceCrc8(answer, 7), c.crcRight);
    }
    EXPECT_EQ(answer.substr(2, 2), bytes({0x66, 0x01})) << "content otherwise intact";
    // One faulty answer, then all is well again.
    const std::string next = sim.ask(kIdentityQuery);
    ASSERT_EQ(next.size(), 8u);
    EXPECT_EQ(at(next, 7), referenceCrc8(next, 7));
    EXPECT_EQ(at(next, 0) & 0x20, 0);
  }
}

TEST(FrameFaults, NoAnswerIgnoresTheRequestAndLateAnswerComesAfterTheTimeout) {
  ModelDriver sim(LoggerConfig{});
  sim.model.injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 2});
  sim.model.injectFault({FaultKind::LateAnswer, Request::IdentityQuery});
  EXPECT_EQ(sim.ask(kIdentityQuery), "");
  EXPECT_EQ(sim.ask(kIdentityQuery), "");
  const auto late = sim.send(kIdentityQuery);
  ASSERT_EQ(late.replies.size(), 1u);
  EXPECT_GE(late.replies[0].start - sim.now, 400ms);
  EXPECT_EQ(late.replies[0].bytes.size(), 8u);
  sim.wait(500ms);  // answers never overlap: let the late one pass first
  const auto prompt = sim.send(kIdentityQuery);
  ASSERT_EQ(prompt.replies.size(), 1u);
  EXPECT_LT(prompt.replies[0].start - sim.now, 1ms);
  EXPECT_EQ(sim.model.requests().size(), 4u) << "ignored requests are still logged";
}

TEST(RecordFaults, EachKindDamagesTheEchoAsItSays) {
  const std::string line = dataLine(0x0400, 0x3C);
  struct Case {
    FaultKind kind;
    std::size_t size;
    bool sumZero;
    int differingDigits;
  };
  const Case cases[] = {
      {FaultKind::ShortAnswer, 138, false, 0},
      {FaultKind::BadChecksum, 139, false, 2},
      {FaultKind::AlteredEcho, 139, true, -1},  // one data digit and the checksum pair
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    ModelDriver sim(programmingConfig());
    sim.ask(kStartRecord);
    sim.model.injectFault({c.kind, Request::DataLine});
    const std::string echo = sim.ask(line);
    ASSERT_EQ(echo.size(), c.size);
    if (c.size != line.size()) {
      EXPECT_EQ(echo, line.substr(0, c.size));
      continue;
    }
    const auto rec = recordBytes(echo);
    ASSERT_EQ(rec.size(), 69u) << "still upper-case digit pairs";
    EXPECT_EQ(byteSum(rec) == 0, c.sumZero);
    std::vector<std::size_t> diffs;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] != echo[i]) diffs.push_back(i);
    }
    if (c.kind == FaultKind::BadChecksum) {
      EXPECT_EQ(echo.substr(0, 137), line.substr(0, 137));
      EXPECT_FALSE(diffs.empty());
    } else {
      ASSERT_FALSE(diffs.empty());
      EXPECT_GE(diffs.front(), 9u) << "header untouched";
      EXPECT_LT(diffs.front(), 137u) << "a data digit changed";
      EXPECT_EQ(echo.substr(0, diffs.front()), line.substr(0, diffs.front()));
      for (std::size_t i = diffs.front() + 1; i < 137; ++i) EXPECT_EQ(echo[i], line[i]) << i;
    }
    EXPECT_EQ(sim.ask(line), line) << "next echo intact";
  }
}

TEST(RecordFaults, NoColonChangesOnlyTheLeadIn) {
  ModelDriver sim(programmingConfig());
  sim.model.injectFault({FaultKind::NoColon, Request::InfoRequest});
  const std::string answer = sim.ask(kInfoRequest);
  ASSERT_EQ(answer.size(), 23u);
  EXPECT_NE(answer[0], ':');
  EXPECT_EQ(answer.substr(1), std::string(":06000000001800350102AA").substr(1));
}

TEST(RecordFaults, FrameKindsOnRecordsBreakTheChecksum) {
  for (const auto kind : {FaultKind::BadCrc, FaultKind::BadCrcWithException}) {
    ModelDriver sim(programmingConfig());
    sim.model.injectFault({kind, Request::InfoRequest});
    const auto rec = recordBytes(sim.ask(kInfoRequest));
    ASSERT_EQ(rec.size(), 11u);
    EXPECT_NE(byteSum(rec), 0);
  }
}

TEST(RecordFaults, NoAnswerOnADataLineWritesNothing) {
  ModelDriver sim(programmingConfig());
  sim.ask(kStartRecord);
  sim.model.injectFault({FaultKind::NoAnswer, Request::DataLine});
  const std::string line = dataLine(0x0400, 1);
  EXPECT_EQ(sim.ask(line), "");
  EXPECT_TRUE(sim.model.flash().empty());
  EXPECT_EQ(sim.ask(line), line);
  EXPECT_EQ(sim.model.flashWrites().size(), 1u);
}

TEST(FaultQueue, SkipCountTargetAndOrder) {
  ModelDriver sim(programmingConfig());
  sim.model.injectFault({FaultKind::NoAnswer, Request::InfoRequest, 1, 2});
  sim.model.injectFault({FaultKind::ShortAnswer, Request::Any});
  // The first fault waits for info requests: other requests pass.
  EXPECT_EQ(sim.ask(kIdentityQuery).size(), 8u);
  EXPECT_EQ(sim.ask(kInfoRequest).size(), 23u);  // skipped
  EXPECT_EQ(sim.ask(kInfoRequest), "");
  EXPECT_EQ(sim.ask(kIdentityQuery).size(), 8u) << "second fault not active yet";
  EXPECT_EQ(sim.ask(kInfoRequest), "");
  // Now the second: Any matches the next answered request, not a null frame.
  EXPECT_EQ(sim.ask(kNullFrame), "");
  EXPECT_EQ(sim.ask(kIdentityQuery).size(), 7u);
  EXPECT_EQ(sim.ask(kIdentityQuery).size(), 8u);
}

TEST(FaultQueue, TargetedNoAnswerOnTheEndRecordKeepsTheBootloader) {
  ModelDriver sim(programmingConfig());
  sim.ask(kStartRecord);
  sim.model.injectFault({FaultKind::NoAnswer, Request::EndRecord});
  sim.ask(kEndRecord);
  EXPECT_EQ(sim.model.restarts(), 0);
  EXPECT_TRUE(sim.model.programmingOpen());
  sim.ask(kEndRecord);
  EXPECT_EQ(sim.model.restarts(), 1);
}

TEST(FaultQueue, HangUpKillsTheLine) {
  ModelDriver sim(LoggerConfig{});
  sim.model.injectFault({FaultKind::HangUp, Request::SerialQuery});
  EXPECT_EQ(sim.ask(kIdentityQuery).size(), 8u);
  EXPECT_EQ(sim.ask(kSerialQuery), "");
  EXPECT_TRUE(sim.last.hangUp);
  EXPECT_EQ(sim.mode(), Mode::Dead);
  EXPECT_EQ(sim.ask(kIdentityQuery), "");
  EXPECT_EQ(sim.model.requests().size(), 2u);
}

}  // namespace
}  // namespace zorvik::sim::testing
