// Seeded random line faults: each kind does what it says at probability 1,
// nothing at 0 or outside its window, every fault is counted, and a seed
// replays the same faults for the same traffic.
#include <gtest/gtest.h>

#include <set>

#include "tests/sim/sim_test_helpers.h"

namespace zorvik::sim::testing {
namespace {

using namespace std::chrono_literals;

LoggerConfig withFaults(const RandomFaults& faults, bool inBootloader = false) {
  LoggerConfig config;
  config.startInBootloader = inBootloader;
  config.randomFaults = faults;
  return config;
}

int differingBits(char a, char b) {
  unsigned x = static_cast<unsigned char>(a) ^ static_cast<unsigned char>(b);
  int n = 0;
  for (; x != 0; x &= x - 1) ++n;
  return n;
}

// The answer an undisturbed logger gives to `request`.
std::string cleanAnswer(const std::string& request, bool inBootloader = false) {
  ModelDriver sim(withFaults({}, inBootloader));
  return sim.ask(request);
}

// Same seed, same traffic: the same answers and counts; another seed differs.
TEST(LineFaults, ASeedReplaysTheSameFaults) {
  RandomFaults faults;
  faults.dropChar = faults.corruptChar = faults.duplicateChar = 0.02;
  faults.delayChar = faults.silence = 0.05;
  faults.maxSilence = 20ms;
  auto replay = [&](std::uint64_t seed) {
    faults.seed = seed;
    ModelDriver sim(withFaults(faults, true));
    std::vector<std::string> answers;
    for (int i = 0; i < 60; ++i) {
      answers.push_back(sim.ask(kInfoRequest));
      answers.push_back(sim.ask(kIdentityQuery));
    }
    return std::make_pair(answers, sim.model.lineFaultCounts().byKind);
  };
  const auto first = replay(7);
  EXPECT_EQ(replay(7), first);
  EXPECT_NE(replay(8).first, first.first);
  const auto counts = first.second;
  EXPECT_GT(counts[static_cast<std::size_t>(LineFault::CorruptedChar)], 0u);
  EXPECT_GT(counts[static_cast<std::size_t>(LineFault::Silence)], 0u);
}

TEST(LineFaults, CharacterFaultsAtProbabilityOneHitEveryCharacterBothWays) {
  const std::string clean = cleanAnswer(kIdentityQuery);
  ASSERT_EQ(clean.size(), 8u);
  {
    SCOPED_TRACE("dropped: the logger hears nothing, so it answers nothing");
    RandomFaults f;
    f.dropChar = 1;
    ModelDriver sim(withFaults(f));
    EXPECT_EQ(sim.ask(kIdentityQuery), "");
    EXPECT_TRUE(sim.model.requests().empty());
    EXPECT_EQ(sim.model.lineFaultCounts()[LineFault::DroppedChar], 8u);
    EXPECT_EQ(sim.model.lineFaultCounts().towardsLogger, 8u);
  }
  {
    SCOPED_TRACE("corrupted answers only: each character one bit off");
    RandomFaults f;
    f.corruptChar = 1;
    f.firstChar = 8;  // the request itself arrives intact
    ModelDriver sim(withFaults(f));
    // Window opens once the 8 request characters are in: the answer is hit.
    const std::string answer = sim.ask(kIdentityQuery);
    ASSERT_EQ(answer.size(), clean.size());
    for (std::size_t i = 0; i < answer.size(); ++i) EXPECT_EQ(differingBits(answer[i], clean[i]), 1) << i;
    EXPECT_EQ(sim.model.lineFaultCounts()[LineFault::CorruptedChar], 8u);
    EXPECT_EQ(sim.model.lineFaultCounts().towardsLogger, 0u);
  }
  {
    SCOPED_TRACE("duplicated answers: every character twice");
    RandomFaults f;
    f.duplicateChar = 1;
    f.firstChar = 8;
    ModelDriver sim(withFaults(f));
    const std::string answer = sim.ask(kIdentityQuery);
    ASSERT_EQ(answer.size(), 16u);
    for (std::size_t i = 0; i < clean.size(); ++i) {
      EXPECT_EQ(answer[2 * i], clean[i]);
      EXPECT_EQ(answer[2 * i + 1], clean[i]);
    }
    EXPECT_EQ(sim.model.lineFaultCounts().total(), 8u);
  }
}

TEST(LineFaults, DelayedCharactersArriveLaterButIntactAndInOrder) {
  const std::string clean = cleanAnswer(kInfoRequest, true);
  RandomFaults f;
  f.delayChar = 1;
  f.maxCharDelay = 30ms;
  f.firstChar = kInfoRequest.size();
  ModelDriver sim(withFaults(f, true));
  const auto out = sim.send(kInfoRequest);
  ASSERT_EQ(out.replies.size(), clean.size());
  std::string joined;
  for (std::size_t i = 0; i < out.replies.size(); ++i) {
    joined += out.replies[i].bytes;
    const auto earliest = i == 0 ? sim.now : out.replies[i - 1].start;
    EXPECT_GE(out.replies[i].start - earliest, 1ms) << i;
    EXPECT_LE(out.replies[i].start - earliest, 30ms) << i;
  }
  EXPECT_EQ(joined, clean);
  EXPECT_EQ(sim.model.lineFaultCounts()[LineFault::DelayedChar], clean.size());
}

// Nothing strikes outside [firstChar, firstChar + chars), whatever the odds;
// an answer counts as sent when the host's characters so far are in.
TEST(LineFaults, FaultsStrikeOnlyInsideTheirWindow) {
  RandomFaults f;
  f.corruptChar = 1;
  f.firstChar = 16;
  f.chars = 8;
  ModelDriver sim(withFaults(f));
  const std::string clean = cleanAnswer(kIdentityQuery);
  EXPECT_EQ(sim.ask(kIdentityQuery), clean) << "host characters 0-7, answer at 8";
  const std::string damaged = sim.ask(kIdentityQuery);
  ASSERT_EQ(damaged.size(), clean.size()) << "host characters 8-15, answer at 16";
  for (std::size_t i = 0; i < clean.size(); ++i) EXPECT_EQ(differingBits(damaged[i], clean[i]), 1) << i;
  EXPECT_EQ(sim.ask(kIdentityQuery), "") << "host characters 16-23 damaged: not understood";
  EXPECT_EQ(sim.ask(kIdentityQuery), clean) << "window closed";
  EXPECT_EQ(sim.model.lineFaultCounts()[LineFault::CorruptedChar], 16u);
  EXPECT_EQ(sim.model.lineFaultCounts().towardsLogger, 8u);
}

TEST(LineFaults, SilenceMakesTheLoggerDeafForAWhile) {
  RandomFaults f;
  f.silence = 1;
  f.maxSilence = 1000ms;
  f.chars = 9;  // only the first request's decision falls inside the window
  ModelDriver sim(withFaults(f));
  EXPECT_EQ(sim.ask(kIdentityQuery), "");
  EXPECT_EQ(sim.model.lineFaultCounts()[LineFault::Silence], 1u);
  // Deaf for between 1 ms and 1 s after the first request.
  sim.wait(1000ms);
  EXPECT_EQ(sim.ask(kIdentityQuery), cleanAnswer(kIdentityQuery));
}

TEST(LineFaults, SlowRebootKeepsTheLoggerAwayLongerThanItsRebootTime) {
  RandomFaults f;
  f.slowReboot = 1;
  f.maxExtraReboot = 3000ms;
  LoggerConfig config = withFaults(f);
  config.rebootTime = 10ms;
  ModelDriver sim(config);
  sim.ask(kEntryFrameNew);
  EXPECT_EQ(sim.model.lineFaultCounts()[LineFault::SlowReboot], 1u);
  sim.wait(10ms);
  EXPECT_EQ(sim.mode(), Mode::Rebooting) << "the extra time is at least 1 ms";
  sim.wait(3000ms);
  EXPECT_EQ(sim.mode(), Mode::Bootloader);
}

TEST(LineFaults, AlteredEchoAndHangUpStrikeDataLinesOnly) {
  const std::string line = dataLine(0x1000, 0x10);
  {
    RandomFaults f;
    f.alteredEcho = 1;
    ModelDriver sim(withFaults(f, true));
    EXPECT_EQ(sim.ask(kInfoRequest), cleanAnswer(kInfoRequest, true)) << "not a data line";
    sim.ask(kStartRecord);
    const std::string echo = sim.ask(line);
    ASSERT_EQ(echo.size(), line.size());
    EXPECT_NE(echo, line);
    EXPECT_EQ(byteSum(recordBytes(echo)), 0) << "checksum kept right";
    EXPECT_EQ(sim.model.lineFaultCounts()[LineFault::AlteredEcho], 1u);
  }
  {
    RandomFaults f;
    f.hangUpInImage = 1;
    ModelDriver sim(withFaults(f, true));
    sim.ask(kStartRecord);
    EXPECT_TRUE(sim.send(line).hangUp);
    EXPECT_EQ(sim.mode(), Mode::Dead);
    EXPECT_EQ(sim.ask(kIdentityQuery), "");
    EXPECT_EQ(sim.model.lineFaultCounts()[LineFault::HangUp], 1u);
  }
}

// An armed injected fault is not disturbed by the random ones.
TEST(LineFaults, InjectedFaultsKeepWorkingBesideRandomOnes) {
  RandomFaults f;
  f.silence = 1;
  f.firstChar = 1'000'000;  // random faults far away
  ModelDriver sim(withFaults(f));
  sim.model.injectFault({FaultKind::NoAnswer, Request::IdentityQuery});
  EXPECT_EQ(sim.ask(kIdentityQuery), "");
  EXPECT_EQ(sim.ask(kIdentityQuery), cleanAnswer(kIdentityQuery));
  EXPECT_EQ(sim.model.lineFaultCounts().total(), 0u);
}

}  // namespace
}  // namespace zorvik::sim::testing
