// Command frame exchanges through the real serial port against the simulated
// logger: retries and their pauses, the errors that end an exchange at once,
// cancellation, and the frames as they reach the logger.
#include <gtest/gtest.h>

#include "tests/link/sim_link.h"

namespace zorvik::testing {
namespace {

using sim::Fault;
using sim::FaultKind;
using sim::Request;

class CommandFrames : public SimLinkFixture {
 protected:
  std::optional<int> identityQuery() { return errorOf(query()); }
  std::function<void()> query() {
    return [&] { link_.sendCommand(true, 1, 0, 0, 0, 0, 0, 0); };
  }
};

TEST_F(CommandFrames, RetriesUntilAValidAnswerOrGivesUpAfterFive) {
  struct Case {
    const char* name;
    Fault fault;
    std::optional<Thrown> error;  // with the way the last attempt failed
    int attempts;
  };
  const Case cases[] = {
      {"no answer five times", {FaultKind::NoAnswer, Request::IdentityQuery, 0, 5}, Thrown{30, link::FailureKind::Silent}, 5},
      {"short answers five times",
       {FaultKind::ShortAnswer, Request::IdentityQuery, 0, 5},
       Thrown{30, link::FailureKind::ShortAnswer},
       5},
      {"wrong CRC five times", {FaultKind::BadCrc, Request::IdentityQuery, 0, 5}, Thrown{30, link::FailureKind::DamagedAnswer}, 5},
      {"no answer four times", {FaultKind::NoAnswer, Request::IdentityQuery, 0, 4}, std::nullopt, 5},
      {"one short answer", {FaultKind::ShortAnswer, Request::IdentityQuery}, std::nullopt, 2},
      {"one wrong CRC", {FaultKind::BadCrc, Request::IdentityQuery}, std::nullopt, 2},
      // The CRC test comes first: a damaged answer is no answer, exception bit or not.
      {"wrong CRC with exception bit", {FaultKind::BadCrcWithException, Request::IdentityQuery}, std::nullopt, 2},
      {"valid answer with exception bit", {FaultKind::ExceptionBit, Request::IdentityQuery}, Thrown{41, link::FailureKind::Refused}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    connect();
    logger_->injectFault(c.fault);
    const auto before = sleeper_.pauses().size();
    const auto error = thrownBy(query());
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(count(Request::IdentityQuery), c.attempts);
    const auto pauses = sleeper_.pauses();
    EXPECT_EQ(std::vector<int>(pauses.begin() + static_cast<std::ptrdiff_t>(before), pauses.end()),
              std::vector<int>(static_cast<std::size_t>(c.attempts - 1), 100));
    if (!c.error) {
      EXPECT_EQ(link_.received()[2], 0x66);
      EXPECT_EQ(link_.received()[3], 0x01);
    }
  }
}

TEST_F(CommandFrames, CancelBeforeTheFirstAttemptWritesNothing) {
  connect();
  cancel_.cancel();
  EXPECT_EQ(identityQuery(), 20);
  EXPECT_EQ(seenBeforeProbe().bytes, 0u);
  EXPECT_TRUE(sleeper_.pauses().empty());
}

// Cancelling while an attempt runs takes effect before the next attempt.
TEST_F(CommandFrames, CancelDuringTheExchangeStopsBeforeTheNextAttempt) {
  // The pause after the first failed attempt is where a cancel lands.
  class CancellingSleeper final : public link::Sleeper {
   public:
    explicit CancellingSleeper(link::CancelToken token) : token_(std::move(token)) {}
    void sleepMs(int) override { token_.cancel(); }

   private:
    link::CancelToken token_;
  };
  connect();
  link_.close();
  link::CancelToken token;
  CancellingSleeper cancelling(token);
  testing::CountingLink cancellable(cancelling, token);
  ASSERT_TRUE(cancellable.open(logger_->devicePath()));
  logger_->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 5});
  EXPECT_EQ(errorOf([&] { cancellable.sendCommand(true, 1); }), 20);
  EXPECT_EQ(count(Request::IdentityQuery), 1);
}

TEST_F(CommandFrames, DeadLineIsErrorElevenAtOnce) {
  connect();
  logger_->injectFault({FaultKind::HangUp, Request::IdentityQuery});
  EXPECT_EQ(identityQuery(), 11);
  EXPECT_EQ(count(Request::IdentityQuery), 1);
  EXPECT_TRUE(sleeper_.pauses().empty());
}

TEST_F(CommandFrames, FramesReachTheLoggerAsDocumented) {
  // Applications before 6.0 take the entry frame of command 5, later ones
  // that of command 2.
  sim::LoggerConfig before6;
  before6.appVersion = 0x0588;
  const sim::LoggerConfig from6;  // 6.26
  struct Case {
    const char* name;
    sim::LoggerConfig logger;
    std::function<void(link::Link&)> send;
    Request seen;
  };
  const Case cases[] = {
      {"null frame ignores its parameters", from6, [](link::Link& l) { l.sendCommand(false, 0xFF, 1, 2, 3, 4, 5, 6); },
       Request::NullFrame},
      {"command 0x81 keeps its value", from6, [](link::Link& l) { l.sendCommand(true, 0x81); }, Request::IdentityQuery},
      {"serial-number query", from6, [](link::Link& l) { l.sendCommand(true, 1, 3); }, Request::SerialQuery},
      {"bootloader entry, command 5", before6, [](link::Link& l) { l.sendCommand(false, 5, 0x03, 0xA5, 0x5A); },
       Request::BootloaderEntry},
      {"bootloader entry, command 2", from6, [](link::Link& l) { l.sendCommand(false, 2, 0x81, 0x00, 0xA5, 0x5A); },
       Request::BootloaderEntry},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    connect(c.logger);
    EXPECT_EQ(errorOf([&] { c.send(link_); }), std::nullopt);
    // The logger recognises a frame only when all 8 bytes and the CRC are right.
    const Seen seen = seenBeforeProbe();
    EXPECT_EQ(seen.requests, std::vector<Request>{c.seen});
    EXPECT_EQ(seen.bytes, 8u);
  }
}

TEST_F(CommandFrames, SerialNumberAnswerLandsInTheReceiveBuffer) {
  sim::LoggerConfig config;
  config.serialNumber = 0x01020304;
  connect(config);
  ASSERT_TRUE(link_.sendCommand(true, 1, 3));
  EXPECT_EQ(link_.received()[1], 0x04);
  EXPECT_EQ(link_.received()[4], 0x01);
}

TEST_F(CommandFrames, WithoutReadReplyNothingIsRead) {
  sim::LoggerConfig config;
  config.serialNumber = 0x01020304;
  connect(config);
  // The serial-number answer fills the receive buffer first; an identity
  // answer read after it would overwrite its bytes 1-4.
  ASSERT_TRUE(link_.sendCommand(true, 1, 3));
  const link::Link::Buffer before = link_.received();
  link_.port().forget();
  ASSERT_TRUE(link_.sendCommand(false, 1));
  EXPECT_EQ(link_.received(), before);
  EXPECT_TRUE(link_.port().reads().empty());
  // The logger did answer; the answer is still waiting in the port.
  std::array<std::uint8_t, 8> waiting{};
  std::size_t received = 0;
  ASSERT_TRUE(link_.port().read(waiting.data(), waiting.size(), received));
  EXPECT_EQ(received, 8u);
  EXPECT_EQ(waiting[2], 0x66);
}

}  // namespace
}  // namespace zorvik::testing
