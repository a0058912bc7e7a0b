// Command frame exchanges through the real serial port against the simulated
// logger: retries and their pauses, the errors that end an exchange at once,
// cancellation, and the frames as they reach the logger.
#include <gtest/gtest.h>

#include <thread>

#include "sim_link.h"

namespace zorvik::testing {
namespace {

using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;
using sim::Request;

class CommandFrames : public SimLinkFixture {
 protected:
  std::optional<int> identityQuery() {
    return errorOf([&] { link.sendCommand(true, 1, 0, 0, 0, 0, 0, 0); });
  }
};

TEST_F(CommandFrames, RetriesUntilAValidAnswerOrGivesUpAfterFive) {
  struct Case {
    const char* name;
    Fault fault;
    std::optional<int> error;
    int attempts;
  };
  const Case cases[] = {
      {"no answer five times", {FaultKind::NoAnswer, Request::IdentityQuery, 0, 5}, 30, 5},
      {"no answer four times", {FaultKind::NoAnswer, Request::IdentityQuery, 0, 4}, std::nullopt, 5},
      {"one short answer", {FaultKind::ShortAnswer, Request::IdentityQuery}, std::nullopt, 2},
      {"one wrong CRC", {FaultKind::BadCrc, Request::IdentityQuery}, std::nullopt, 2},
      // The CRC test comes first: a damaged answer is no answer, exception bit or not.
      {"wrong CRC with exception bit", {FaultKind::BadCrcWithException, Request::IdentityQuery}, std::nullopt, 2},
      {"valid answer with exception bit", {FaultKind::ExceptionBit, Request::IdentityQuery}, 41, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    connect();
    logger->injectFault(c.fault);
    const auto before = sleeper.pauses().size();
    const auto error = identityQuery();
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(count(Request::IdentityQuery), c.attempts);
    const auto pauses = sleeper.pauses();
    EXPECT_EQ(std::vector<int>(pauses.begin() + static_cast<std::ptrdiff_t>(before), pauses.end()),
              std::vector<int>(static_cast<std::size_t>(c.attempts - 1), 100));
    if (!c.error) {
      EXPECT_EQ(link.FRxBuffer[2], 0x66);
      EXPECT_EQ(link.FRxBuffer[3], 0x01);
    }
    rs232Close(link.FhPort);
  }
}

TEST_F(CommandFrames, CancelBeforeTheFirstAttemptWritesNothing) {
  connect();
  CancelRequested = true;
  EXPECT_EQ(identityQuery(), 20);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(logger->bytesReceived(), 0u);
  EXPECT_TRUE(sleeper.pauses().empty());
}

// Cancelling while an attempt runs takes effect before the next attempt.
TEST_F(CommandFrames, CancelDuringTheExchangeStopsBeforeTheNextAttempt) {
  class CancellingSleeper final : public Sleeper {
   public:
    void sleepMs(int) override { CancelRequested = true; }
  } cancelling;
  connect();
  TestLink cancellable(cancelling);
  rs232Close(link.FhPort);
  ASSERT_TRUE(cancellable.open(logger->devicePath()));
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 5});
  EXPECT_EQ(errorOf([&] { cancellable.sendCommand(true, 1); }), 20);
  EXPECT_EQ(count(Request::IdentityQuery), 1);
  rs232Close(cancellable.FhPort);
}

TEST_F(CommandFrames, DeadLineIsErrorElevenAtOnce) {
  connect();
  logger->injectFault({FaultKind::HangUp, Request::IdentityQuery});
  EXPECT_EQ(identityQuery(), 11);
  EXPECT_EQ(count(Request::IdentityQuery), 1);
  EXPECT_TRUE(sleeper.pauses().empty());
}

TEST_F(CommandFrames, FramesReachTheLoggerAsDocumented) {
  struct Case {
    const char* name;
    std::function<void(TestLink&)> send;
    Request seen;
  };
  const Case cases[] = {
      {"null frame ignores its parameters", [](TestLink& l) { l.sendCommand(false, 0xFF, 1, 2, 3, 4, 5, 6); },
       Request::NullFrame},
      {"command 0x81 keeps its value", [](TestLink& l) { l.sendCommand(true, 0x81); }, Request::IdentityQuery},
      {"serial-number query", [](TestLink& l) { l.sendCommand(true, 1, 3); }, Request::SerialQuery},
      {"bootloader entry, command 5", [](TestLink& l) { l.sendCommand(false, 5, 0x03, 0xA5, 0x5A); },
       Request::BootloaderEntry},
      {"bootloader entry, command 2", [](TestLink& l) { l.sendCommand(false, 2, 0x81, 0x00, 0xA5, 0x5A); },
       Request::BootloaderEntry},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    connect();
    EXPECT_EQ(errorOf([&] { c.send(link); }), std::nullopt);
    // The logger recognises a frame only when all 8 bytes and the CRC are right.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(logger->requests(), std::vector<Request>{c.seen});
    EXPECT_EQ(logger->bytesReceived(), 8u);
    rs232Close(link.FhPort);
  }
}

TEST_F(CommandFrames, SerialNumberAnswerLandsInTheReceiveBuffer) {
  sim::LoggerConfig config;
  config.serialNumber = 0x01020304;
  connect(config);
  ASSERT_TRUE(link.sendCommand(true, 1, 3));
  EXPECT_EQ(link.FRxBuffer[1], 0x04);
  EXPECT_EQ(link.FRxBuffer[4], 0x01);
}

TEST_F(CommandFrames, WithoutReadReplyNothingIsRead) {
  connect();
  link.FRxBuffer.fill(0xEE);
  ASSERT_TRUE(link.sendCommand(false, 1));
  EXPECT_EQ(link.FRxBuffer[0], 0xEE);
  // The logger did answer; the answer is still waiting in the port.
  std::array<std::uint8_t, 8> waiting{};
  std::size_t received = 0;
  ASSERT_TRUE(link.FhPort->readFile(waiting.data(), waiting.size(), received));
  EXPECT_EQ(received, 8u);
  EXPECT_EQ(waiting[2], 0x66);
}

}  // namespace
}  // namespace zorvik::testing
