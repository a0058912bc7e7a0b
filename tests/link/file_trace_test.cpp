// The trace file as support and the replay read it: one line per write, read
// and note in the documented form, readable while the run is still going, and
// never longer than its limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/file_trace.h"
#include "link/line_trace.h"

namespace zorvik::link {
namespace {

using std::chrono::microseconds;
using Bytes = std::vector<std::uint8_t>;

// A file name of this test's own, removed afterwards.
class TraceFile {
 public:
  TraceFile() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = (std::filesystem::temp_directory_path() /
             ("zorvik-file-trace-" + std::string(test->name()) + "-" + std::to_string(::getpid()) + ".txt"))
                .string();
  }
  ~TraceFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string text() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

 private:
  std::string path_;
};

// A clock the test sets by hand: a trace made at time zero of it.
struct ManualClock {
  std::shared_ptr<std::chrono::steady_clock::time_point> now =
      std::make_shared<std::chrono::steady_clock::time_point>();
  FileTrace::Clock clock() const {
    return [now = now] { return *now; };
  }
  void set(microseconds sinceStart) { *now = std::chrono::steady_clock::time_point() + sinceStart; }
};

TEST(TraceHex, TwoUpperCaseDigitsPerByteOneSpaceApart) {
  struct Case {
    const char* name;
    Bytes bytes;
    const char* text;
  };
  const Case cases[] = {
      {"none", {}, ""},
      {"one", {0x3A}, "3A"},
      {"zero and high", {0x00, 0xFF}, "00 FF"},
      {"letters are upper case", {0xAB, 0xCD, 0xEF}, "AB CD EF"},
      {"nibbles in order", {0x0A, 0xA0, 0x9F, 0xF9}, "0A A0 9F F9"},
      {"line feed and carriage return", {0x0D, 0x0A}, "0D 0A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(traceHex(c.bytes.data(), c.bytes.size()), c.text) << c.name;
  }
}

TEST(FileTrace, StartsWithTheFormatLineOnly) {
  TraceFile file;
  FileTrace trace(file.path());
  EXPECT_EQ(file.text(), "zorvik-line-trace 1\n");
  EXPECT_EQ(trace.size(), 20u);
  EXPECT_FALSE(trace.cut());
}

// Each kind of record, alone after the header.
TEST(FileTrace, EachRecordIsOneLine) {
  struct Case {
    const char* name;
    microseconds at;
    std::function<void(FileTrace&)> record;
    const char* line;
  };
  const Bytes frame{0x81, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5E};
  const Bytes answer{0x01, 0x66, 0x1A, 0x06, 0x00, 0x00, 0x00, 0x3C};
  const Case cases[] = {
      {"write", microseconds(812), [&](FileTrace& t) { t.written(frame.data(), frame.size()); },
       "812 > 81 00 00 00 00 00 00 5E\n"},
      {"read", microseconds(12'250), [&](FileTrace& t) { t.received(answer.data(), answer.size()); },
       "12250 < 01 66 1A 06 00 00 00 3C\n"},
      {"empty read", microseconds(201'467), [](FileTrace& t) { t.received(nullptr, 0); }, "201467 <\n"},
      {"note", microseconds(0), [](FileTrace& t) { t.note("open /dev/ttyUSB0"); }, "0 # open /dev/ttyUSB0\n"},
      {"note with line breaks and a tab", microseconds(7), [](FileTrace& t) { t.note("two\nlines\r\tand a tab"); },
       "7 # two lines  and a tab\n"},
      {"one hour", microseconds(3'600'000'000LL), [](FileTrace& t) { t.note("event 1 5"); },
       "3600000000 # event 1 5\n"},
  };
  for (const auto& c : cases) {
    TraceFile file;
    ManualClock clock;
    FileTrace trace(file.path(), FileTrace::kDefaultLimitBytes, clock.clock());
    clock.set(c.at);
    c.record(trace);
    EXPECT_EQ(file.text(), std::string("zorvik-line-trace 1\n") + c.line) << c.name;
  }
}

TEST(FileTrace, TimeCountsFromTheTraceBeginning) {
  TraceFile file;
  ManualClock clock;
  clock.set(microseconds(5'000'000));  // the process ran for a while before the trace began
  FileTrace trace(file.path(), FileTrace::kDefaultLimitBytes, clock.clock());
  trace.note("open /dev/pts/3");
  clock.set(microseconds(5'000'812));
  const Bytes nullFrame(8, 0x00);
  trace.written(nullFrame.data(), nullFrame.size());
  clock.set(microseconds(5'201'000));
  trace.received(nullptr, 0);
  EXPECT_EQ(file.text(),
            "zorvik-line-trace 1\n"
            "0 # open /dev/pts/3\n"
            "812 > 00 00 00 00 00 00 00 00\n"
            "201000 <\n");
}

// A killed process leaves what was recorded up to then: every line is in
// the file before the next call, with the trace still open.
TEST(FileTrace, EveryLineIsInTheFileAtOnce) {
  TraceFile file;
  ManualClock clock;
  FileTrace trace(file.path(), FileTrace::kDefaultLimitBytes, clock.clock());
  const Bytes request{0x3A, 0x30, 0x31};
  std::string expected = "zorvik-line-trace 1\n";
  for (int i = 0; i < 3; ++i) {
    clock.set(microseconds(100 * i));
    trace.written(request.data(), request.size());
    expected += std::to_string(100 * i) + " > 3A 30 31\n";
    EXPECT_EQ(file.text(), expected) << "after write " << i;
    EXPECT_EQ(trace.size(), expected.size());
  }
}

TEST(FileTrace, RealClockNeverGoesBackwards) {
  TraceFile file;
  {
    FileTrace trace(file.path());
    const Bytes b{0x00};
    for (int i = 0; i < 200; ++i) trace.written(b.data(), b.size());
  }
  std::istringstream lines(file.text());
  std::string line;
  std::getline(lines, line);
  long long previous = 0;
  int count = 0;
  while (std::getline(lines, line)) {
    const long long t = std::stoll(line.substr(0, line.find(' ')));
    EXPECT_GE(t, previous) << line;
    EXPECT_EQ(line.substr(line.find(' ')), " > 00");
    previous = t;
    ++count;
  }
  EXPECT_EQ(count, 200);
}

// 20 header bytes; each write line below is 35 bytes; every line must leave
// 160 bytes for the cut line, so with a limit of 256 two lines fit.
TEST(FileTrace, KeepsTheBeginningAndSaysWhereItWasCut) {
  TraceFile file;
  ManualClock clock;
  FileTrace trace(file.path(), 256, clock.clock());
  const Bytes ten{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  clock.set(microseconds(42));
  for (int i = 0; i < 2; ++i) trace.written(ten.data(), ten.size());
  EXPECT_FALSE(trace.cut());
  clock.set(microseconds(57));
  trace.received(ten.data(), ten.size());  // does not fit: the cut line instead
  EXPECT_TRUE(trace.cut());
  clock.set(microseconds(99));
  trace.received(nullptr, 0);
  trace.note("event 10 44");
  trace.written(ten.data(), 1);
  const std::string expected =
      "zorvik-line-trace 1\n"
      "42 > 00 01 02 03 04 05 06 07 08 09\n"
      "42 > 00 01 02 03 04 05 06 07 08 09\n"
      "57 ! cut: limit of 256 bytes reached after 90 bytes; nothing after this was recorded\n";
  EXPECT_EQ(file.text(), expected);
  EXPECT_EQ(trace.size(), expected.size());
}

// However the lines fall, the file stays within its limit, ends with the cut
// line and holds whole lines only.
TEST(FileTrace, NeverGrowsPastItsLimit) {
  struct Case {
    std::size_t limit;
    std::size_t bytesPerWrite;
  };
  const Case cases[] = {{256, 1}, {256, 30}, {1000, 7}, {4096, 43}, {4096, 200}, {65536, 1501}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "limit " << c.limit << ", " << c.bytesPerWrite << " bytes per write");
    TraceFile file;
    ManualClock clock;
    FileTrace trace(file.path(), c.limit, clock.clock());
    const Bytes bytes(c.bytesPerWrite, 0x55);
    for (int i = 0; i < 2000 && !trace.cut(); ++i) {
      clock.set(microseconds(1000LL * i));
      trace.written(bytes.data(), bytes.size());
      trace.received(nullptr, 0);
    }
    ASSERT_TRUE(trace.cut());
    const std::string text = file.text();
    EXPECT_LE(text.size(), c.limit);
    EXPECT_EQ(text.size(), trace.size());
    ASSERT_EQ(text.back(), '\n');
    const auto lastStart = text.rfind('\n', text.size() - 2) + 1;
    const std::string lastLine = text.substr(lastStart);
    EXPECT_NE(lastLine.find(" ! cut: limit of " + std::to_string(c.limit) + " bytes reached after " +
                            std::to_string(lastStart) + " bytes; nothing after this was recorded\n"),
              std::string::npos)
        << lastLine;
    EXPECT_EQ(text.find(" ! "), lastStart + lastLine.find(" ! ")) << "one cut line only";
  }
}

TEST(FileTrace, RefusesALimitWithoutRoomForTheCutLine) {
  TraceFile file;
  EXPECT_THROW(FileTrace(file.path(), 255), std::invalid_argument);
  EXPECT_NO_THROW(FileTrace(file.path(), 256));
}

TEST(FileTrace, SaysWhichFileCannotBeCreated) {
  const std::string path = "/nonexistent-zorvik-dir/trace.txt";
  try {
    FileTrace trace(path);
    FAIL() << "a trace in a missing directory was created";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot create the trace file " + path);
  }
}

// ---- Through the port decorator --------------------------------------------

// A port that answers from a script: each read takes the next answer.
class ScriptedPort final : public SerialPort {
 public:
  explicit ScriptedPort(std::vector<Bytes> answers, bool readFails = false)
      : answers_(std::move(answers)), readFails_(readFails) {}
  bool clearErrors() override { return true; }
  bool purgeInput() override { return true; }
  bool write(const std::uint8_t*, std::size_t count, std::size_t& written) override {
    written = count;
    return true;
  }
  bool read(std::uint8_t* data, std::size_t count, std::size_t& received) override {
    received = 0;
    if (readFails_) return false;
    if (next_ < answers_.size()) {
      const Bytes& a = answers_[next_++];
      for (; received < a.size() && received < count; ++received) data[received] = a[received];
    }
    return true;
  }
  bool close() override { return true; }

 private:
  std::vector<Bytes> answers_;
  std::size_t next_ = 0;
  bool readFails_;
};

TEST(FileTrace, RecordsWhatATracedPortWritesAndReads) {
  TraceFile file;
  ManualClock clock;
  auto trace = std::make_shared<FileTrace>(file.path(), FileTrace::kDefaultLimitBytes, clock.clock());
  PortHandle port = tracedPort(std::make_unique<ScriptedPort>(std::vector<Bytes>{{0x01, 0x66}, {}}), trace);
  const Bytes frame{0x81, 0, 0, 0, 0, 0, 0, 0x5E};
  std::uint8_t buffer[8];
  std::size_t count = 0;
  clock.set(microseconds(10));
  ASSERT_TRUE(port->write(frame.data(), frame.size(), count));
  clock.set(microseconds(20));
  ASSERT_TRUE(port->read(buffer, 8, count));
  clock.set(microseconds(30));
  ASSERT_TRUE(port->write(frame.data(), frame.size(), count));
  clock.set(microseconds(240'000));
  ASSERT_TRUE(port->read(buffer, 8, count));  // a timeout with nothing
  EXPECT_EQ(file.text(),
            "zorvik-line-trace 1\n"
            "10 > 81 00 00 00 00 00 00 5E\n"
            "20 < 01 66\n"
            "30 > 81 00 00 00 00 00 00 5E\n"
            "240000 <\n");
}

TEST(FileTrace, RecordsAFailedReadAsSilenceAndANote) {
  TraceFile file;
  ManualClock clock;
  auto trace = std::make_shared<FileTrace>(file.path(), FileTrace::kDefaultLimitBytes, clock.clock());
  PortHandle port = tracedPort(std::make_unique<ScriptedPort>(std::vector<Bytes>{}, true), trace);
  std::uint8_t buffer[8];
  std::size_t count = 0;
  clock.set(microseconds(5));
  EXPECT_FALSE(port->read(buffer, 8, count));
  EXPECT_EQ(file.text(),
            "zorvik-line-trace 1\n"
            "5 <\n"
            "5 # read failed\n");
}

}  // namespace
}  // namespace zorvik::link
