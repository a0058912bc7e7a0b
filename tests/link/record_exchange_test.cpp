// Record exchanges through the real serial port against the simulated
// logger's bootloader: the reply length asked of the port, the validity test
// of a reply, retries, and what recordReply hands back.
#include <gtest/gtest.h>

#include "images/record_codec.h"
#include "tests/link/sim_link.h"

namespace zorvik::testing {
namespace {

using sim::Fault;
using sim::FaultKind;
using sim::Request;

const std::string kInfoRequest = ":0100000520DA";
const std::string kInfoAnswer = ":06000000001800350102AA";  // platform 24, print 53, info 0x0102
const std::string kUpdateIdRequest = ":01006005306A";     // platform 24: 0x1800 / 64
const std::string kStartRecord = ":0100000531C9";

class RecordExchange : public SimLinkFixture {
 protected:
  void SetUp() override {
    SimLinkFixture::SetUp();
    if (IsSkipped()) return;
    sim::LoggerConfig config;
    config.startInBootloader = true;
    connect(config);
  }

  std::vector<int> pausesSince(std::size_t before) const {
    const auto all = sleeper_.pauses();
    return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
  }
};

TEST_F(RecordExchange, NoReplyExpectedReadsNothing) {
  // A reply read before: the exchange without one must not hand it back.
  ASSERT_EQ(link_.sendRecord(kInfoRequest, 6, true), link::FailureKind::None);
  ASSERT_EQ(link_.recordReply(), kInfoAnswer);
  CountingPort& port = link_.port();
  port.forget();
  EXPECT_EQ(link_.sendRecord(kInfoRequest, 0, true), link::FailureKind::None);
  EXPECT_EQ(link_.recordReply(), "");
  EXPECT_TRUE(port.reads().empty());
  // The logger answered all the same; its answer is still in the port.
  std::array<std::uint8_t, 32> waiting{};
  std::size_t received = 0;
  ASSERT_TRUE(port.read(waiting.data(), 23, received));
  EXPECT_EQ(std::string(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(received)), kInfoAnswer);
}

TEST_F(RecordExchange, AsksThePortForExactlyTheReplyLength) {
  struct Case {
    std::string line;
    std::uint8_t n;
    std::size_t length;
  };
  const Case cases[] = {
      {kInfoRequest, 6, 23},
      {kUpdateIdRequest, 64, 139},
      {kStartRecord, 1, 13},
  };
  CountingPort& port = link_.port();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    port.forget();
    EXPECT_EQ(link_.sendRecord(c.line, c.n, true), link::FailureKind::None);
    EXPECT_EQ(port.writes(), std::vector<std::size_t>{c.line.size()});
    EXPECT_EQ(port.reads(), std::vector<std::size_t>{c.length});
    EXPECT_EQ(link_.recordReply().size(), c.length);
  }
  EXPECT_EQ(link_.recordReply().substr(0, 3), ":01");
}

TEST_F(RecordExchange, DamagedRepliesAreRetried) {
  struct Case {
    const char* name;
    Fault fault;
    bool raiseOnFail;
    std::optional<Thrown> error;
    std::optional<link::FailureKind> result;  // nullopt: it threw
    int attempts;
  };
  const Case cases[] = {
      {"one character short, five times",
       {FaultKind::ShortAnswer, Request::InfoRequest, 0, 5},
       true,
       Thrown{30, link::FailureKind::ShortAnswer},
       std::nullopt,
       5},
      {"bad checksum, five times",
       {FaultKind::BadChecksum, Request::InfoRequest, 0, 5},
       false,
       std::nullopt,
       link::FailureKind::DamagedAnswer,
       5},
      {"one character short once", {FaultKind::ShortAnswer, Request::InfoRequest}, true, std::nullopt, link::FailureKind::None, 2},
      {"full length, bad checksum once",
       {FaultKind::BadChecksum, Request::InfoRequest},
       false,
       std::nullopt,
       link::FailureKind::None,
       2},
  };
  int sent = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    logger_->injectFault(c.fault);
    const auto before = sleeper_.pauses().size();
    std::optional<link::FailureKind> result;
    EXPECT_EQ(thrownBy([&] { result = link_.sendRecord(kInfoRequest, 6, c.raiseOnFail); }), c.error);
    EXPECT_EQ(result, c.result);
    sent += c.attempts;
    EXPECT_EQ(count(Request::InfoRequest), sent);
    EXPECT_EQ(pausesSince(before), std::vector<int>(static_cast<std::size_t>(c.attempts - 1), 100));
    // The reply is as long as what was due, whether it passed or not.
    EXPECT_EQ(link_.recordReply().size(), 23u);
    if (c.result == link::FailureKind::None) {
      EXPECT_EQ(link_.recordReply(), kInfoAnswer);
    }
  }
}

// transferRecord tests the digit pairs only; the colon is for the caller's
// decoding (or comparison) to check.
TEST_F(RecordExchange, ReplyWithoutColonPassesThePairTest) {
  logger_->injectFault({FaultKind::NoColon, Request::InfoRequest});
  ASSERT_EQ(link_.transferRecord(kInfoRequest, 6), link::FailureKind::None);
  const std::string reply = link_.recordReply();
  EXPECT_NE(reply[0], ':');
  EXPECT_EQ(reply.substr(1), kInfoAnswer.substr(1));
  images::RecordBytes record{};
  EXPECT_FALSE(images::decodeRecord(reply, record));
}

// An echo with other content but an intact checksum passes the exchange: only
// the caller's comparison can tell, and it must not be retried here.
TEST_F(RecordExchange, AlteredEchoWithValidChecksumPassesOnTheFirstAttempt) {
  ASSERT_EQ(link_.sendRecord(kStartRecord, 1, true), link::FailureKind::None);
  images::RecordBytes line{};
  line[images::kRecCount] = 64;
  line[images::kRecAddrHigh] = 0x04;
  for (std::size_t i = 0; i < 64; ++i) line[images::kRecData + i] = static_cast<std::uint8_t>(i * 3);
  std::string text;
  ASSERT_TRUE(images::encodeRecord(line, text));
  logger_->injectFault({FaultKind::AlteredEcho, Request::DataLine});
  EXPECT_EQ(link_.sendRecord(text, 64, true), link::FailureKind::None);
  EXPECT_EQ(count(Request::DataLine), 1);
  EXPECT_EQ(link_.recordReply().size(), 139u);
  EXPECT_NE(link_.recordReply(), text);
  EXPECT_EQ(link_.sendRecord(text, 64, true), link::FailureKind::None);
  EXPECT_EQ(link_.recordReply(), text);
}

TEST_F(RecordExchange, CancelAndDeadLine) {
  {
    link::CancelToken cancelled;
    testing::CountingLink other(sleeper_, cancelled);
    link_.close();
    ASSERT_TRUE(other.open(logger_->devicePath()));
    cancelled.cancel();
    EXPECT_EQ(errorOf([&] { other.sendRecord(kInfoRequest, 6, false); }), 20) << "raised even without raiseOnFail";
  }
  ASSERT_TRUE(link_.open(logger_->devicePath()));
  logger_->injectFault({FaultKind::HangUp, Request::InfoRequest});
  EXPECT_EQ(errorOf([&] { link_.sendRecord(kInfoRequest, 6, false); }), 11);
  EXPECT_EQ(count(Request::InfoRequest), 1) << "the cancelled exchange sent nothing, the dead line one";
  EXPECT_TRUE(sleeper_.pauses().empty());
}

}  // namespace
}  // namespace zorvik::testing
