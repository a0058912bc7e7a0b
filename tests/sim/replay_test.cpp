// The replay mode of the simulator: how a trace file is read into exchanges,
// how the model answers the updater's requests from them (in order, silence
// as silence, stop at the first difference), and the same behind a real
// pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/file_trace.h"
#include "sim/replay.h"
#include "tests/sim/sim_test_helpers.h"
#include "tests/support/pty_check.h"

namespace zorvik::sim::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::microseconds;

ReplayScriptResult readText(const std::string& text) {
  std::istringstream in(text);
  return readReplayScript(in);
}

// ---- Reading a trace ----------------------------------------------------------

struct ReadCase {
  const char* name;
  std::string text;
  std::vector<ReplayExchange> exchanges;
  std::size_t cutLine = 0;
};

TEST(ReplayScript, ReadsExchangesFromATrace) {
  const std::string header = "zorvik-line-trace 1\n";
  const ReadCase cases[] = {
      {"a frame and its answer",
       header + "0 # open /dev/ttyUSB0\n10 > 81 00 00 00 00 00 00 AA\n9000 < 01 66 1A 06 00 00 00 3C\n",
       {{bytes({0x81, 0, 0, 0, 0, 0, 0, 0xAA}), {{bytes({0x01, 0x66, 0x1A, 0x06, 0, 0, 0, 0x3C}), 0us}}, {}, 3}}},
      {"an empty read is silence",
       header + "10 > 3A 30\n240000 <\n",
       {{":0", {}, {}, 2}}},
      {"writes without a read are answered by nothing",
       header + "10 > 00 00\n20 > 00 00\n",
       {{bytes({0, 0}), {}, {}, 2}, {bytes({0, 0}), {}, {}, 3}}},
      {"reads of one exchange are joined",
       header + "10 > 41\n20 < 42 43\n30 < 44\n",
       {{"A", {{"BCD", 0us}}, {}, 2}}},
      {"bytes after an empty read come late",
       header + "1000 > 41\n201000 <\n250000 < 42\n",
       {{"A", {{"B", 200'000us + kReplayLateMargin}}, {}, 2}}},
      {"notes between do not split an exchange",
       header + "10 > 41\n11 # event 1 5\n20 < 42\n",
       {{"A", {{"B", 0us}}, {}, 2}}},
      {"a failed read hangs up after its time",
       header + "100 > 41\n150 <\n160 # read failed\n",
       {{"A", {}, 60us, 2}}},
      {"a failed write hangs up too",
       header + "100 > 41\n400 # write failed\n",
       {{"A", {}, 300us, 2}}},
      {"reads of a new run before its first write answer nothing",
       header + "10 > 41\n20 < 42\n30 # event 10 30\n40 # open /dev/ttyUSB0\n50 < 43\n60 > 44\n",
       {{"A", {{"B", 0us}}, {}, 2}, {"D", {}, {}, 7}}},
      {"an empty write is skipped",
       header + "10 >\n20 > 41\n",
       {{"A", {}, {}, 3}}},
      {"the exchange at the cut is left out",
       header + "10 > 41\n20 < 42\n30 > 43\n31 ! cut: limit of 256 bytes reached after 90 bytes; nothing after this was recorded\n",
       {{"A", {{"B", 0us}}, {}, 2}},
       5},
      {"a cut between runs keeps the last exchange",
       header + "10 > 41\n20 < 42\n30 # open /dev/ttyUSB0\n31 ! cut: limit\n",
       {{"A", {{"B", 0us}}, {}, 2}},
       5},
      {"carriage returns, blank lines and lower case",
       "zorvik-line-trace 1\r\n10 > 3a 0d\r\n\r\n20 < ff\r\n",
       {{bytes({0x3A, 0x0D}), {{bytes({0xFF}), 0us}}, {}, 2}}},
      {"an unfinished last line is left out",
       header + "10 > 41\n20 < 42\n30 > 43 4",
       {{"A", {{"B", 0us}}, {}, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto result = readText(c.text);
    ASSERT_TRUE(result.script.has_value()) << result.error;
    EXPECT_EQ(result.script->exchanges, c.exchanges);
    EXPECT_EQ(result.script->cutLine, c.cutLine);
  }
}

TEST(ReplayScript, RefusesWhatIsNoTraceNamingTheLine) {
  struct Case {
    const char* name;
    std::string text;
    std::string error;
  };
  const std::string header = "zorvik-line-trace 1\n";
  const Case cases[] = {
      {"empty", "", "the trace is empty"},
      {"another file", "hello\n", "trace line 1: not a line trace: the first line must be \"zorvik-line-trace 1\""},
      {"a later version", "zorvik-line-trace 2\n10 > 41\n",
       "trace line 1: format version 2; this simulator reads version 1"},
      {"no time", header + "> 41\n", "trace line 2: expected \"<microseconds> <kind> ...\""},
      {"a negative time", header + "-5 > 41\n", "trace line 2: expected \"<microseconds> <kind> ...\""},
      {"no kind", header + "10\n", "trace line 2: expected \"<microseconds> <kind> ...\""},
      {"unknown kind", header + "10 ? what\n", "trace line 2: unknown kind '?'"},
      {"no space after the kind", header + "10 >41\n", "trace line 2: expected a space after the kind"},
      {"a bad digit", header + "10 > 41\n20 < 4G\n", "trace line 3: bytes must be pairs of hex digits, one space apart"},
      {"digits not paired", header + "10 > 414\n", "trace line 2: bytes must be pairs of hex digits, one space apart"},
      {"two spaces", header + "10 > 41  42\n", "trace line 2: bytes must be pairs of hex digits, one space apart"},
      {"a trailing space", header + "10 > 41 \n", "trace line 2: bytes must be pairs of hex digits, one space apart"},
      {"time going backwards", header + "10 > 41\n9 < 42\n", "trace line 3: the time goes backwards"},
      {"a line after the cut", header + "10 > 41\n20 ! cut\n30 < 42\n", "trace line 4: a line after the cut line"},
  };
  for (const auto& c : cases) {
    const auto result = readText(c.text);
    EXPECT_FALSE(result.script.has_value()) << c.name;
    EXPECT_EQ(result.error, c.error) << c.name;
  }
}

TEST(ReplayScript, ReadsWhatTheTraceWriterWrites) {
  const auto path = (std::filesystem::temp_directory_path() /
                     ("zorvik-replay-roundtrip-" + std::to_string(::getpid()) + ".txt"))
                        .string();
  auto now = std::chrono::steady_clock::time_point();
  {
    link::FileTrace trace(path, link::FileTrace::kDefaultLimitBytes, [&now] { return now; });
    const std::vector<std::uint8_t> query{0x81, 0, 0, 0, 0, 0, 0, 0xAA};
    const std::vector<std::uint8_t> answer{0x01, 0x66, 0x1A, 0x06, 0, 0, 0, 0x3C};
    trace.note("open /dev/pts/7");
    now += 1ms;
    trace.written(query.data(), query.size());
    now += 210ms;
    trace.received(nullptr, 0);
    now += 100ms;
    trace.written(query.data(), query.size());
    now += 9ms;
    trace.received(answer.data(), answer.size());
    trace.note("event 20 26113");
  }
  const auto result = loadReplayScript(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(result.script.has_value()) << result.error;
  const std::string query = bytes({0x81, 0, 0, 0, 0, 0, 0, 0xAA});
  EXPECT_EQ(result.script->exchanges,
            (std::vector<ReplayExchange>{{query, {}, {}, 3},
                                         {query, {{bytes({0x01, 0x66, 0x1A, 0x06, 0, 0, 0, 0x3C}), 0us}}, {}, 5}}));
  EXPECT_EQ(result.script->cutLine, 0u);
}

TEST(ReplayScript, SaysWhichFileCannotBeRead) {
  const auto result = loadReplayScript("/nonexistent-zorvik-dir/trace.txt");
  EXPECT_FALSE(result.script.has_value());
  EXPECT_EQ(result.error, "cannot read /nonexistent-zorvik-dir/trace.txt");
}

// ---- The model ----------------------------------------------------------------

// Identity query answered, a data line answered after an empty read (late),
// a null frame without answer, a data line that met silence.
ReplayScript sampleScript() {
  ReplayScript s;
  s.exchanges = {
      {kIdentityQuery, {{bytes({0x01, 0x66, 0x1A, 0x06, 0, 0, 0, 0x3C}), 0us}}, {}, 3},
      {":0100000520DA", {{":0100000520DA", 0us}, {"\r", 220'000us}}, {}, 5},
      {kNullFrame, {}, {}, 8},
      {":0100000531C9", {}, {}, 9},
  };
  return s;
}

std::string joined(const std::vector<TimedReply>& replies) {
  std::string all;
  for (const auto& r : replies) all += r.bytes;
  return all;
}

TEST(ReplayModel, AnswersEachRequestAsTracedOnceItIsComplete) {
  ReplayModel model(sampleScript());
  const auto t0 = SimClock::now();
  // The identity query arrives in two pieces: nothing until the last byte.
  auto out = model.receive(kIdentityQuery.substr(0, 3), t0);
  EXPECT_TRUE(out.replies.empty());
  EXPECT_EQ(model.matched(), 0u);
  out = model.receive(kIdentityQuery.substr(3), t0 + 2ms);
  ASSERT_EQ(out.replies.size(), 1u);
  EXPECT_EQ(out.replies[0].bytes, bytes({0x01, 0x66, 0x1A, 0x06, 0, 0, 0, 0x3C}));
  EXPECT_EQ(out.replies[0].start, t0 + 2ms);
  EXPECT_EQ(model.matched(), 1u);

  // The late part of an answer keeps its distance from the request.
  out = model.receive(":0100000520DA", t0 + 50ms);
  ASSERT_EQ(out.replies.size(), 2u);
  EXPECT_EQ(out.replies[0].bytes, ":0100000520DA");
  EXPECT_EQ(out.replies[0].start, t0 + 50ms);
  EXPECT_EQ(out.replies[1].bytes, "\r");
  EXPECT_EQ(out.replies[1].start, t0 + 50ms + 220ms);

  // Silence stays silence; two requests in one piece are both met.
  out = model.receive(kNullFrame + ":0100000531C9", t0 + 60ms);
  EXPECT_TRUE(out.replies.empty());
  EXPECT_FALSE(out.hangUpAt.has_value());
  EXPECT_EQ(model.matched(), 4u);
  EXPECT_FALSE(model.stopped());
  EXPECT_EQ(out.messages, (std::vector<std::string>{"replay: all 4 requests of the trace met and answered as traced"}));
}

TEST(ReplayModel, StopsAtTheFirstDifferenceAndAnswersNothingAfter) {
  ReplayModel model(sampleScript());
  const auto t0 = SimClock::now();
  ASSERT_EQ(joined(model.receive(kIdentityQuery, t0).replies).size(), 8u);
  // The info request with one digit changed.
  auto out = model.receive(":0100000521DA", t0 + 10ms);
  EXPECT_TRUE(out.replies.empty());
  EXPECT_TRUE(model.stopped());
  EXPECT_EQ(model.matched(), 1u);
  EXPECT_EQ(out.messages,
            (std::vector<std::string>{
                "replay: request 2 differs from the trace (line 5) at byte 11: the trace has "
                "3A 30 31 30 30 30 30 30 35 32 30 44 41, the updater sent "
                "3A 30 31 30 30 30 30 30 35 32 31 44 41; answering nothing from here on"}));
  // Even the requests that follow in the trace get nothing now.
  out = model.receive(":0100000520DA" + kNullFrame, t0 + 20ms);
  EXPECT_TRUE(out.replies.empty());
  EXPECT_TRUE(out.messages.empty());
}

TEST(ReplayModel, ADifferenceInALaterPieceShowsTheWholeRequestSoFar) {
  ReplayModel model(sampleScript());
  const auto t0 = SimClock::now();
  EXPECT_TRUE(model.receive(kIdentityQuery.substr(0, 2), t0).replies.empty());
  const auto out = model.receive(bytes({0x01}), t0 + 1ms);
  EXPECT_EQ(out.messages,
            (std::vector<std::string>{"replay: request 1 differs from the trace (line 3) at byte 3: the trace has "
                                      "81 00 00 00 00 00 00 AA, the updater sent 81 00 01; answering nothing from "
                                      "here on"}));
}

TEST(ReplayModel, ARequestBeyondTheTraceIsNotAnswered) {
  struct Case {
    const char* name;
    std::size_t cutLine;
    std::string message;
  };
  const Case cases[] = {
      {"complete trace", 0,
       "replay: request 2 goes beyond the trace, which holds 1 requests: the updater sent 81 03 00 00 00 00 00 F3; "
       "answering nothing from here on"},
      {"cut trace", 12,
       "replay: request 2 goes beyond the trace, which holds 1 requests (cut at line 12): the updater sent "
       "81 03 00 00 00 00 00 F3; answering nothing from here on"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReplayScript script;
    script.exchanges = {{kIdentityQuery, {{"x", 0us}}, {}, 2}};
    script.cutLine = c.cutLine;
    ReplayModel model(std::move(script));
    const auto t0 = SimClock::now();
    const auto first = model.receive(kIdentityQuery, t0);
    EXPECT_EQ(joined(first.replies), "x");
    EXPECT_FALSE(model.stopped());
    const auto out = model.receive(kSerialQuery, t0 + 1ms);
    EXPECT_TRUE(out.replies.empty());
    EXPECT_TRUE(model.stopped());
    EXPECT_EQ(out.messages, std::vector<std::string>{c.message});
  }
}

TEST(ReplayModel, AFailedPortCallBecomesAHangUpAtItsTime) {
  ReplayScript script;
  script.exchanges = {{":0100000520DA", {}, 60us, 2}};
  ReplayModel model(std::move(script));
  const auto t0 = SimClock::now();
  const auto out = model.receive(":0100000520DA", t0);
  EXPECT_TRUE(out.replies.empty());
  ASSERT_TRUE(out.hangUpAt.has_value());
  EXPECT_EQ(*out.hangUpAt, t0 + 60us);
}

// ---- Behind a pseudo-terminal ---------------------------------------------------

// The host's end of the line, opened raw like a serial port.
class Host {
 public:
  explicit Host(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios tio{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
      ::cfmakeraw(&tio);
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~Host() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool write(const std::string& s) { return ::write(fd_, s.data(), s.size()) == static_cast<ssize_t>(s.size()); }
  // Up to `count` bytes, waiting at most `timeout` for them.
  std::string read(std::size_t count, std::chrono::milliseconds timeout) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[256];
      const auto n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_;
};

class ReplayOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = zorvik::testing::ptyUnavailableReason(); !why.empty()) GTEST_SKIP() << why;
  }
};

TEST_F(ReplayOnPty, AnswersAsTracedThenStopsAtADifference) {
  ReplayScript script;
  script.exchanges = {
      {kIdentityQuery, {{bytes({0x01, 0x66, 0x1A, 0x06, 0, 0, 0, 0x3C}), 0us}}, {}, 3},
      {kSerialQuery, {{"serial", 0us}}, {}, 5},
  };
  ReplayLogger logger(std::move(script));
  ASSERT_TRUE(logger.start());
  Host host(logger.devicePath());
  ASSERT_TRUE(host.ok());
  ASSERT_TRUE(host.write(kIdentityQuery));
  EXPECT_EQ(host.read(8, 2000ms), bytes({0x01, 0x66, 0x1A, 0x06, 0, 0, 0, 0x3C}));
  EXPECT_EQ(logger.matched(), 1u);
  // The next request differs: once the replay has seen it, no answer comes.
  ASSERT_TRUE(host.write(kNullFrame));
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!logger.stopped() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(logger.stopped());
  EXPECT_EQ(host.read(1, 300ms), "");
  EXPECT_EQ(logger.matched(), 1u);
  EXPECT_EQ(logger.takeMessages(),
            (std::vector<std::string>{"replay: request 2 differs from the trace (line 5) at byte 1: the trace has "
                                      "81 03 00 00 00 00 00 F3, the updater sent 00 00 00 00 00 00 00 00; answering "
                                      "nothing from here on"}));
  EXPECT_TRUE(logger.takeMessages().empty());
}

TEST_F(ReplayOnPty, AFailedReadInTheTraceHangsUpTheLine) {
  ReplayScript script;
  script.exchanges = {{kIdentityQuery, {}, 1000us, 2}};
  ReplayLogger logger(std::move(script));
  ASSERT_TRUE(logger.start());
  Host host(logger.devicePath());
  ASSERT_TRUE(host.ok());
  ASSERT_TRUE(host.write(kIdentityQuery));
  // No answer comes; the replay closes its side of the line, which ends the
  // host's wait with a hang-up.
  pollfd p{host.fd(), POLLIN, 0};
  ASSERT_GT(::poll(&p, 1, 5000), 0);
  EXPECT_NE(p.revents & POLLHUP, 0) << "revents " << p.revents;
  EXPECT_EQ(logger.matched(), 1u);
}

}  // namespace
}  // namespace zorvik::sim::testing
