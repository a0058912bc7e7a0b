// The command-line updater as a user meets it: arguments in, report lines,
// messages and an exit status out, against the simulated logger.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "apps/cli/cli.h"
#include "tests/cli/cli_runner.h"
#include "apps/cli/port_listing.h"
#include "images/catalogue.h"
#include "images/version_text.h"
#include "link/serial_port.h"
#include "sim/logger_for_image.h"
#include "sim/replay.h"
#include "sim/simulated_logger.h"
#include "tests/support/test_support.h"

namespace zorvik::testing {
namespace {

namespace fs = std::filesystem;
using sim::Request;

// Minimal JSON syntax check for the flat objects the updater prints.
class JsonLine {
 public:
  explicit JsonLine(const std::string& text) : s_(text) {}
  bool valid() {
    skip();
    if (!object()) return false;
    skip();
    return i_ == s_.size();
  }

 private:
  void skip() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool eat(char c) {
    skip();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool string() {
    if (!eat('"')) return false;
    while (i_ < s_.size() && s_[i_] != '"') {
      if (static_cast<unsigned char>(s_[i_]) < 0x20) return false;
      i_ += s_[i_] == '\\' ? 2 : 1;
    }
    return eat('"');
  }
  bool literal() {
    skip();
    for (const char* word : {"true", "false", "null"}) {
      if (s_.compare(i_, std::strlen(word), word) == 0) {
        i_ += std::strlen(word);
        return true;
      }
    }
    const std::size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    return i_ > start && std::isdigit(static_cast<unsigned char>(s_[i_ - 1]));
  }
  bool value() {
    skip();
    return (i_ < s_.size() && s_[i_] == '"') ? string() : literal();
  }
  bool object() {
    if (!eat('{')) return false;
    if (eat('}')) return true;
    do {
      if (!string() || !eat(':') || !value()) return false;
    } while (eat(','));
    return eat('}');
  }
  std::string s_;
  std::size_t i_ = 0;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    configHome_ = fs::temp_directory_path() / ("zorvik-cli-test-" + std::to_string(::getpid()));
    fs::create_directories(configHome_);
    ::setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(configHome_);
  }

  void startLogger(sim::LoggerConfig config = {}) {
    logger = std::make_unique<sim::SimulatedLogger>(config);
    if (!logger->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  }

  void enableServiceMode() {
    fs::create_directories(configHome_ / "Harventa");
    std::ofstream(configHome_ / "Harventa" / "Qorn.conf") << "[General]\nintern=7406\n";
  }

  CliResult cli(const std::vector<std::string>& arguments, const std::string& input = "", bool terminal = false) {
    return runCliHere(arguments, {input, terminal, sleeper, repeatPause});
  }

  std::size_t count(Request kind) const {
    const auto requests = logger->requests();
    return static_cast<std::size_t>(std::count(requests.begin(), requests.end(), kind));
  }

  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
  }

  std::shared_ptr<RecordingSleeper> sleeper = std::make_shared<RecordingSleeper>();
  std::chrono::milliseconds repeatPause{0};
  std::unique_ptr<sim::SimulatedLogger> logger;
  fs::path configHome_;
};

TEST_F(Cli, FullUpdateReportsEveryStepAndEndsWithTheSuccessText) {
  startLogger();
  const auto r = cli({"--port", logger->devicePath(), "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto out = lines(r.out);
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out.front().substr(8), " -> Start at serial port \"" + logger->devicePath() + "\"");
  EXPECT_EQ(out.back(), "Update ZorvikB V6.26 succesfully completed.");
  EXPECT_NE(r.out.find(" -> Class 26113 [ZorvikB]\n"), std::string::npos);
  EXPECT_NE(r.out.find(" -> Update ZorvikB V6.26, A9g, BL3.0\n"), std::string::npos);
  EXPECT_NE(r.out.find(" -> Vector table is programmed.\n"), std::string::npos);
  EXPECT_EQ(logger->restarts(), 1);
}

TEST_F(Cli, ExitStatusIsTheErrorCode) {
  struct Case {
    const char* name;
    sim::LoggerConfig config;
    std::vector<std::string> extra;
    int status;
    const char* message;
  };
  sim::LoggerConfig otherClass;
  otherClass.appClass = 0x6602;
  sim::LoggerConfig noImage;
  noImage.print = noImage.upidPrint = 52;
  const Case cases[] = {
      {"no update", otherClass, {}, 40, "Aborted because no update is available for this logger!"},
      {"no image", noImage, {}, 47, "There is no update available or the logger has another update ID!"},
      {"read info", {}, {"--read-info"}, 70, "Only read update info!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    startLogger(c.config);
    std::vector<std::string> arguments = {"--port", logger->devicePath(), "--yes"};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const auto r = cli(arguments);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(lines(r.out).back(), c.message);
    EXPECT_EQ(count(Request::StartRecord), 0u);
    logger.reset();
  }
}

TEST_F(Cli, MissingPortIsErrorTenNamingThePort) {
  const auto r = cli({"--port", "/dev/zorvik-missing", "--yes"});
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(lines(r.out).back(), "Aborted because serial port \"/dev/zorvik-missing\" is not ready!");
}

TEST_F(Cli, RepeatsAfterNoAnswerAreBoundedByMaxRepeats) {
  startLogger();
  logger->injectFault({sim::FaultKind::NoAnswer, Request::IdentityQuery, 0, 1000});
  repeatPause = std::chrono::milliseconds(200);
  const auto began = std::chrono::steady_clock::now();
  const auto r = cli({"--port", logger->devicePath(), "--yes", "--max-repeats", "2"});
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_EQ(r.status, 30);
  std::size_t starts = 0;
  std::size_t repeats = 0;
  for (const auto& line : lines(r.out)) {
    starts += line.find("Start at serial port") != std::string::npos;
    repeats += line.find("Repeat update because communication error!") != std::string::npos;
  }
  EXPECT_EQ(starts, 3u);
  EXPECT_EQ(repeats, 2u) << "no repeat is promised after the last run";
  EXPECT_EQ(lines(r.out).back(), "Update failed: no answer from the logger after 3 runs.");
  EXPECT_GE(took, 2 * repeatPause) << "a pause before each repeat";
}

TEST_F(Cli, EchoErrorIsRepeatedAtOnceAndTheRepeatSucceeds) {
  startLogger();
  logger->injectFault({sim::FaultKind::AlteredEcho, Request::DataLine, 30});
  // Were the repeat to wait as after no answer, the test would not end.
  repeatPause = std::chrono::hours(1);
  const auto r = cli({"--port", logger->devicePath(), "--yes"});
  EXPECT_EQ(r.status, 0);
  const auto out = lines(r.out);
  const auto repeat = std::find_if(out.begin(), out.end(), [](const std::string& l) {
    return l.find("Repeat because programming error!") != std::string::npos;
  });
  ASSERT_NE(repeat, out.end());
  EXPECT_NE((repeat - 1)->find("Aborted because programming error at line 30 !"), std::string::npos);
  EXPECT_NE((repeat + 1)->find("Start at serial port"), std::string::npos);
  EXPECT_EQ(out.back(), "Update ZorvikB V6.26 succesfully completed.");
}

TEST_F(Cli, JsonPrintsOneParsableObjectPerLine) {
  startLogger();
  const auto r = cli({"--port", logger->devicePath(), "--yes", "--json", "--read-info"});
  EXPECT_EQ(r.status, 70);
  const auto out = lines(r.out);
  ASSERT_GE(out.size(), 10u);
  for (const auto& line : out) EXPECT_TRUE(JsonLine(line).valid()) << line;
  EXPECT_NE(out.front().find("\"type\":\"start\""), std::string::npos);
  EXPECT_NE(out.back().find("\"type\":\"exit\",\"status\":70"), std::string::npos);
  EXPECT_NE(out[out.size() - 2].find("\"type\":\"answer\",\"text\":\"would get image 12: ZorvikB V6.26\""),
            std::string::npos)
      << out[out.size() - 2];
  EXPECT_NE(r.out.find("\"code\":20,\"value\":26113,\"text\":\"Class 26113 [ZorvikB]\""), std::string::npos);
}

TEST_F(Cli, JsonStaysUtf8ForAPortNamedInAnotherEncoding) {
  // A Latin-1 byte in the name: the JSON lines must still be UTF-8.
  const auto r = cli({"--port", "/dev/zorvik-caf\xE9", "--yes", "--json"});
  EXPECT_EQ(r.status, 10);
  for (const auto& line : lines(r.out)) EXPECT_TRUE(JsonLine(line).valid()) << line;
  EXPECT_EQ(r.out.find('\xE9'), std::string::npos);
  EXPECT_NE(r.out.find("/dev/zorvik-caf\\ufffd"), std::string::npos) << r.out;
}

TEST_F(Cli, ConfirmationGuardsEveryWrite) {
  startLogger();
  const std::string port = logger->devicePath();
  auto refused = cli({"--port", port});
  EXPECT_EQ(refused.status, 2) << "no terminal, no --yes: nothing may be written";
  auto declined = cli({"--port", port}, "No\n", true);
  EXPECT_EQ(declined.status, 1);
  // The question names what it is about, as the logger tells it.
  EXPECT_NE(declined.err.find(port + ": ZorvikB, serial number 100200, version 6.26 -> 6.26 (the newest image for its "
                                     "class)\nConfirm\n"),
            std::string::npos)
      << declined.err;
  EXPECT_NE(declined.err.find("Do you save your measurements ?\nDo you really continue without saving ?"),
            std::string::npos);
  auto formatQuestion = cli({"--port", port, "mf:+"}, "\n", true);
  EXPECT_EQ(formatQuestion.status, 1);
  EXPECT_NE(formatQuestion.err.find("This update clears all measurements!\nDo you really continue ?"),
            std::string::npos);
  // Asked who it is, nothing more: still in its application, nothing written.
  for (const Request r : logger->requests()) {
    EXPECT_TRUE(r == Request::NullFrame || r == Request::IdentityQuery || r == Request::SerialQuery)
        << static_cast<int>(r);
  }
  EXPECT_EQ(logger->mode(), sim::Mode::Application);
  auto accepted = cli({"--port", port}, "Yes\n", true);
  EXPECT_EQ(accepted.status, 0);
}

TEST_F(Cli, ServiceOptionsNeedServiceMode) {
  startLogger();
  for (const std::vector<std::string>& extra : {std::vector<std::string>{"--image", "/etc/hostname"},
                                               std::vector<std::string>{"--no-check-class"},
                                               std::vector<std::string>{"--no-check-platform"}}) {
    std::vector<std::string> arguments = {"--port", logger->devicePath(), "--yes"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const auto r = cli(arguments);
    EXPECT_EQ(r.status, 2) << extra[0];
    EXPECT_NE(r.err.find("service"), std::string::npos);
  }
  EXPECT_TRUE(logger->requests().empty());
}

TEST_F(Cli, UnloadableImageFileIsRefusedInsteadOfFallingBack) {
  enableServiceMode();
  startLogger();
  const auto missing = configHome_ / "missing.txt";
  const auto garbage = configHome_ / "garbage.txt";
  std::ofstream(garbage) << "this is not\nan image\n";
  for (const auto& file : {missing, garbage}) {
    const auto r = cli({"--port", logger->devicePath(), "--image", file.string()});
    EXPECT_EQ(r.status, 1) << file;
    EXPECT_NE(r.err.find("cannot load image file"), std::string::npos);
  }
  EXPECT_TRUE(logger->requests().empty());
}

TEST_F(Cli, ServiceModeSendsAnImageFile) {
  enableServiceMode();
  startLogger();
  const auto file = configHome_ / "image.txt";
  {
    std::ofstream image(file);
    image << "bootloader=3\nbootloader version=0\nclass=26113\nversionH=6\nversionL=26\nplatform=24\nprint=53\n"
             "date=01.01.2026 00:00:00\n";
    const images::ImageSource builtIn;
    for (int i = 0; i <= builtIn.lastLine(12); ++i) image << builtIn.line(12, i) << "\n";
  }
  const auto r = cli({"--port", logger->devicePath(), "--image", file.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" -> Check ZorvikB V6.26, A9g, BL3.0\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Check ZorvikB V6.20"), std::string::npos) << "only the file is a candidate";
}

// The data lines of a built-in image as the logger's flash must receive them:
// image order, the vector-table line last.
std::vector<std::string> expectedFlash(int image) {
  const images::ImageSource builtIn;
  std::vector<std::string> lines;
  std::string vectorLine;
  for (int i = 0; i < builtIn.lastLine(image); ++i) {
    const std::string line(builtIn.line(image, i));
    if (line.substr(1, 2) != "40" || line.substr(7, 2) != "00") continue;  // full data lines only
    if (line.substr(3, 4) == "03DF") vectorLine = line;
    else lines.push_back(line);
  }
  if (!vectorLine.empty()) lines.push_back(vectorLine);
  return lines;
}

std::vector<std::string> written(const sim::SimulatedLogger& logger) {
  std::vector<std::string> lines;
  for (const auto& w : logger.flashWrites()) lines.push_back(w.line);
  return lines;
}

TEST_F(Cli, SeveralPortsAreUpdatedAtOnceEachWithItsOwnImage) {
  const int images[] = {12, 9, 4};
  std::vector<std::unique_ptr<sim::SimulatedLogger>> loggers;
  std::vector<std::string> arguments = {"--yes"};
  for (const int image : images) {
    loggers.push_back(std::make_unique<sim::SimulatedLogger>(sim::loggerFor(image)));
    if (!loggers.back()->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
    arguments.insert(arguments.end(), {"--port", loggers.back()->devicePath()});
  }
  const auto r = cli(arguments);
  EXPECT_EQ(r.status, 0) << r.err;
  for (std::size_t i = 0; i < loggers.size(); ++i) {
    SCOPED_TRACE(images[i]);
    EXPECT_EQ(written(*loggers[i]), expectedFlash(images[i]));
    EXPECT_EQ(loggers[i]->restarts(), 1);
    const images::ImageHeader h = images::builtInHeader(images[i]);
    const std::string success = "Update ZorvikB V" + images::versionText(h.versionHigh, h.versionLow) + " succesfully completed.";
    const std::string prefix = "[" + loggers[i]->devicePath() + "] ";
    EXPECT_NE(r.out.find("\n" + prefix + success + "\n"), std::string::npos) << "final message of its own";
  }
  for (const auto& line : lines(r.out)) {
    EXPECT_TRUE(std::any_of(loggers.begin(), loggers.end(),
                            [&](const auto& l) { return line.rfind("[" + l->devicePath() + "] ", 0) == 0; }))
        << "every line names its port: " << line;
  }
}

TEST_F(Cli, SeveralPortsInJsonNameTheirPortOnEveryLine) {
  std::vector<std::unique_ptr<sim::SimulatedLogger>> loggers;
  std::vector<std::string> arguments = {"--yes", "--json", "--read-info"};
  for (int i = 0; i < 2; ++i) {
    loggers.push_back(std::make_unique<sim::SimulatedLogger>());
    if (!loggers.back()->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
    arguments.insert(arguments.end(), {"--port", loggers.back()->devicePath()});
  }
  const auto r = cli(arguments);
  EXPECT_EQ(r.status, 70);
  std::size_t exits = 0;
  for (const auto& line : lines(r.out)) {
    EXPECT_TRUE(JsonLine(line).valid()) << line;
    EXPECT_NE(line.find("\"port\":\""), std::string::npos) << line;
    exits += line.find("\"type\":\"exit\"") != std::string::npos;
  }
  EXPECT_EQ(exits, 2u) << "one exit line per port";
}

// Ports in command-line order; the exit status is that of the first that failed.
TEST_F(Cli, SeveralPortsExitWithTheFirstFailureInCommandLineOrder) {
  enum Kind { Fits, Missing, OtherClass };
  const struct {
    const char* name;
    std::vector<Kind> ports;
    int status;
  } cases[] = {
      {"all fit", {Fits, Fits}, 0},
      {"missing port first", {Fits, Missing, OtherClass}, 10},
      {"other class first", {OtherClass, Missing, Fits}, 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::unique_ptr<sim::SimulatedLogger>> loggers;
    std::vector<std::string> arguments = {"--yes"};
    for (const Kind kind : c.ports) {
      if (kind == Missing) {
        arguments.insert(arguments.end(), {"--port", "/dev/zorvik-missing"});
        continue;
      }
      sim::LoggerConfig config;
      if (kind == OtherClass) config.appClass = 0x6602;
      loggers.push_back(std::make_unique<sim::SimulatedLogger>(config));
      if (!loggers.back()->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
      arguments.insert(arguments.end(), {"--port", loggers.back()->devicePath()});
    }
    const auto r = cli(arguments);
    EXPECT_EQ(r.status, c.status) << r.out;
    std::size_t index = 0;
    for (const Kind kind : c.ports) {
      if (kind == Missing) continue;
      EXPECT_EQ(loggers[index++]->restarts(), kind == Fits ? 1 : 0) << "every port ran to its own end";
    }
  }
}

TEST_F(Cli, OnePortTwiceIsAUsageError) {
  const auto r = cli({"--yes", "--port", "/dev/ttyUSB0", "--port", "/dev/ttyUSB0"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("is given more than once"), std::string::npos);
}

TEST_F(Cli, ExhaustedRepeatsAfterAnEchoErrorEndWithTheGiveUpLine) {
  startLogger();
  logger->injectFault({sim::FaultKind::AlteredEcho, Request::DataLine, 0, 1000});
  const auto r = cli({"--port", logger->devicePath(), "--yes", "--max-repeats", "1"});
  EXPECT_EQ(r.status, 44);
  const auto out = lines(r.out);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out.back(), "Update failed: the logger's echo differed after 2 runs.");
  ASSERT_GE(out.size(), 3u);
  EXPECT_NE(out[out.size() - 3].find(" -> Update failed: the logger's echo differed after 2 runs."), std::string::npos)
      << "the report says it too, instead of promising a repeat";
  EXPECT_NE(out[out.size() - 2].find(" -> a line came back changed from the logger: "), std::string::npos)
      << "then the cause and the fix";
  EXPECT_EQ(std::count_if(out.begin(), out.end(),
                          [](const std::string& l) { return l.find("Repeat because programming error!") != std::string::npos; }),
            1);
}

// Standard error a terminal (where the bar is drawn) or not: on a terminal the
// bar alone shows the progress, and the final line is green or red.
TEST_F(Cli, OnATerminalProgressMovesTheBarOnly) {
  struct Case {
    const char* name;
    bool terminal;
    const char* noColour;  // nullptr: unset
    bool progressLines, colour;
  };
  const Case cases[] = {
      {"pipe", false, nullptr, true, false},
      {"terminal", true, nullptr, false, true},
      {"terminal with NO_COLOR", true, "1", false, false},
  };
  ::setenv("TERM", "xterm", 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.noColour) ::setenv("NO_COLOR", c.noColour, 1);
    else ::unsetenv("NO_COLOR");
    startLogger();
    std::ostringstream out, err;
    std::istringstream in;
    cli::CliIo io(out, err, in, false, c.terminal);
    io.sleeper = sleeper;
    const int status = cli::runCli({"--port", logger->devicePath(), "--yes"}, io);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.str().find(" -> Progress ") != std::string::npos, c.progressLines);
    EXPECT_EQ(err.str().find("] 98%") != std::string::npos, c.terminal) << "the bar";
    const std::string success = "Update ZorvikB V6.26 succesfully completed.";
    const std::string last = lines(out.str()).back();
    EXPECT_EQ(last, c.colour ? "\033[32m" + success + "\033[0m" : success);
    logger.reset();
  }
  ::unsetenv("NO_COLOR");
}

// What a person reads on the bar, one draw after the other.
struct BarDraw {
  int percent;
  int done;
  int total;
  std::optional<int> secondsLeft;
};

std::vector<BarDraw> barDraws(const std::string& err) {
  static const std::regex bar(R"(\] (\d+)%  lines (\d+)/(\d+)(  (\d+):(\d\d) left)?)");
  std::vector<BarDraw> draws;
  for (std::sregex_iterator it(err.begin(), err.end(), bar), end; it != end; ++it) {
    const std::smatch& m = *it;
    BarDraw d{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::nullopt};
    if (m[4].matched) d.secondsLeft = std::stoi(m[5]) * 60 + std::stoi(m[6]);
    draws.push_back(d);
  }
  return draws;
}

TEST_F(Cli, TheBarCountsLinesAndTellsTheTimeLeftOnlyOnceMeasured) {
  startLogger();
  std::ostringstream out, err;
  std::istringstream in;
  cli::CliIo io(out, err, in, false, true);
  io.sleeper = sleeper;
  // One second per progress event: the times told depend on the lines alone.
  auto now = std::make_shared<std::chrono::steady_clock::time_point>();
  io.clock = [now] { return *now += std::chrono::seconds(1); };
  ASSERT_EQ(cli::runCli({"--port", logger->devicePath(), "--yes"}, io), 0);

  const std::vector<BarDraw> draws = barDraws(err.str());
  ASSERT_GE(draws.size(), 20u) << err.str().substr(0, 400);
  EXPECT_FALSE(draws.front().secondsLeft) << "no time from the first count";
  bool told = false;
  for (std::size_t i = 0; i < draws.size(); ++i) {
    SCOPED_TRACE("draw " + std::to_string(i));
    EXPECT_EQ(draws[i].total, draws.front().total);
    if (i > 0) {  // a report line under the bar draws it again unchanged
      EXPECT_GE(draws[i].done, draws[i - 1].done);
    }
    EXPECT_EQ(draws[i].secondsLeft.has_value(), draws[i].done - draws.front().done >= 10);
    told = told || draws[i].secondsLeft.has_value();
  }
  EXPECT_TRUE(told);
  EXPECT_LE(draws.back().secondsLeft.value_or(0), draws[draws.size() / 2].secondsLeft.value_or(0))
      << "less is left near the end than half-way";
}

TEST_F(Cli, JsonProgressCarriesTheLineCountAndTheTimeLeft) {
  startLogger();
  const auto r = cli({"--port", logger->devicePath(), "--yes", "--json"});
  ASSERT_EQ(r.status, 0);
  int progress = 0, withTime = 0;
  for (const auto& line : lines(r.out)) {
    if (line.find("\"code\":1,") == std::string::npos) {
      EXPECT_EQ(line.find("\"lines_done\""), std::string::npos) << line;
      continue;
    }
    ++progress;
    EXPECT_TRUE(JsonLine(line).valid()) << line;
    EXPECT_TRUE(std::regex_search(line, std::regex(R"("lines_done":\d+,"lines_total":\d+)"))) << line;
    withTime += line.find("\"seconds_left\":") != std::string::npos ? 1 : 0;
  }
  EXPECT_GT(progress, 50);
  EXPECT_GT(withTime, 0);
  EXPECT_LT(withTime, progress) << "not from the first count";
}

TEST_F(Cli, EveryUpdateIsRecordedAndListedByHistory) {
  startLogger();
  const std::string db = (configHome_ / "history.sqlite").string();
  ASSERT_EQ(cli({"--port", logger->devicePath(), "--yes", "--history-db", db}).status, 0);
  logger.reset();
  startLogger();
  logger->injectFault({sim::FaultKind::NoAnswer, Request::IdentityQuery, 0, 1000});
  ASSERT_EQ(cli({"--port", logger->devicePath(), "--yes", "--max-repeats", "1", "--history-db", db}).status, 30);

  const auto table = cli({"--history", "--history-db", db});
  EXPECT_EQ(table.status, 0) << table.err;
  const auto rows = lines(table.out);
  ASSERT_EQ(rows.size(), 3u) << table.out;  // headings and two updates, newest first
  EXPECT_NE(rows[1].find("FAIL"), std::string::npos) << rows[1];
  EXPECT_NE(rows[2].find("PASS"), std::string::npos) << rows[2];
  EXPECT_NE(rows[2].find("100200"), std::string::npos) << "the logger's serial number";

  const auto json = cli({"--history", "--json", "--serial", "100200", "--history-db", db});
  const auto objects = lines(json.out);
  ASSERT_EQ(objects.size(), 1u) << "the failed update never learnt a serial number";
  EXPECT_TRUE(JsonLine(objects[0]).valid()) << objects[0];
  EXPECT_NE(objects[0].find("\"resultCode\":0"), std::string::npos) << objects[0];

  const auto csvFile = configHome_ / "history.csv";
  EXPECT_EQ(cli({"--history", "--csv", csvFile.string(), "--history-db", db}).status, 0);
  std::ifstream csv(csvFile);
  std::string header;
  std::getline(csv, header);
  EXPECT_NE(header.find("serial"), std::string::npos) << header;
}

TEST_F(Cli, AHistoryThatCannotBeKeptNeverStopsAnUpdate) {
  startLogger();
  const auto garbage = configHome_ / "not-a-database";
  std::ofstream(garbage) << std::string(4096, 'x');
  const auto r = cli({"--port", logger->devicePath(), "--yes", "--history-db", garbage.string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(logger->restarts(), 1);
  const auto out = lines(r.out);
  EXPECT_EQ(std::count_if(out.begin(), out.end(),
                          [](const std::string& l) { return l.find("The update history cannot be kept") != std::string::npos; }),
            1) << "said once: " << r.out;
  EXPECT_EQ(out.back(), "Update ZorvikB V6.26 succesfully completed.");
}

TEST_F(Cli, InformationCommands) {
  const auto images = cli({"--list-images"});
  EXPECT_EQ(images.status, 0);
  const auto rows = lines(images.out);
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[0].substr(0, 8), "Firmware");
  for (const char* cell : {"ZorvikB", "6.26", "F5335 B", "A9g", "24.04.2025 16:11:52", "3.0"}) {
    EXPECT_NE(rows[1].find(cell), std::string::npos) << cell;
  }
  EXPECT_NE(rows[12].find("3.20"), std::string::npos);
  EXPECT_NE(rows[12].find("2.0"), std::string::npos);

  EXPECT_EQ(cli({"--help"}).status, 0);
  EXPECT_NE(cli({"--help"}).out.find("--port PORT"), std::string::npos);
  EXPECT_EQ(cli({"--bogus"}).status, 2);
  EXPECT_EQ(cli({"--max-repeats", "many", "--port", "x"}).status, 2);
  EXPECT_EQ(cli({"--yes"}).status, 2) << "an update needs a port";
  EXPECT_EQ(cli({"--show-header", (configHome_ / "none").string()}).status, 1);
}

#ifdef ZORVIK_CLI_PATH
// Ctrl-C in the middle of an image: the run ends with "Process cancelled!"
// (status 20) and the port is free again.
TEST_F(Cli, InterruptCancelsTheRunAndReleasesThePort) {
  startLogger();
  const std::string port = logger->devicePath();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, STDOUT_FILENO);
    ::execl(ZORVIK_CLI_PATH, ZORVIK_CLI_PATH, "--port", port.c_str(), "--yes", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (count(Request::DataLine) < 20 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_GE(count(Request::DataLine), 20u);
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 20);
  link::PortHandle again = link::openSerialPort(port, 9600);
  EXPECT_NE(again, nullptr);
  EXPECT_EQ(logger->restarts(), 0);
}
#endif

}  // namespace
}  // namespace zorvik::testing

namespace zorvik::testing {
namespace {

// --list-ports as printed: the loggers' adapters first and marked, with what
// is known of each; every other serial port after them, once.
TEST(PortListing, LoggerAdaptersFirstAndMarked) {
  std::ostringstream out;
  cli::writePortList(out, {"/dev/ttyUSB0", "/dev/ttyUSB2"}, {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"},
                     [](const std::string& port) {
                       if (port == "/dev/ttyUSB0") {
                         return ports::AdapterIdentity{"A1B2C3", "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0"};
                       }
                       return ports::AdapterIdentity{};
                     });
  EXPECT_EQ(out.str(),
            "/dev/ttyUSB0  logger adapter  serial A1B2C3  usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0\n"
            "/dev/ttyUSB2  logger adapter\n"
            "/dev/ttyS0\n"
            "/dev/ttyUSB1\n");
}

}  // namespace
}  // namespace zorvik::testing

namespace zorvik::testing {
namespace {

// Errors 10, 11 and 30 (and the other failures the link can tell apart) end
// with one line naming the cause and the fix; --json carries them on the
// final event's line.
class FailureCause : public Cli {};

TEST_F(FailureCause, EachEndsWithItsCauseAndFix) {
  struct Case {
    const char* name;
    std::optional<sim::Fault> fault;  // none: a port that does not exist
    int status;
    const char* reason;
  };
  const Case cases[] = {
      {"missing port", std::nullopt, 10, "no such port"},
      {"silent logger", sim::Fault{sim::FaultKind::NoAnswer, Request::IdentityQuery, 0, 1000}, 30, "no answer at all"},
      {"damaged answers", sim::Fault{sim::FaultKind::BadChecksum, Request::InfoRequest, 0, 1000}, 46,
       "the logger's answer arrived damaged"},
      {"hang-up", sim::Fault{sim::FaultKind::HangUp, Request::DataLine, 10}, 11, "the port stopped working"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string port = "/dev/zorvik-missing";
    if (c.fault) {
      startLogger();
      logger->injectFault(*c.fault);
      port = logger->devicePath();
    }
    const auto text = cli({"--port", port, "--yes", "--max-repeats", "0"});
    EXPECT_EQ(text.status, c.status);
    const auto out = lines(text.out);
    ASSERT_GE(out.size(), 2u);
    EXPECT_NE(out[out.size() - 2].find(std::string(" -> ") + c.reason), std::string::npos) << text.out;
    logger.reset();
    if (c.fault) {
      startLogger();
      logger->injectFault(*c.fault);
      port = logger->devicePath();
    }
    const auto json = cli({"--port", port, "--yes", "--max-repeats", "0", "--json"});
    const auto objects = lines(json.out);
    const auto final = std::find_if(objects.begin(), objects.end(),
                                    [](const std::string& l) { return l.find("\"final\":true") != std::string::npos; });
    ASSERT_NE(final, objects.end());
    EXPECT_TRUE(JsonLine(*final).valid()) << *final;
    EXPECT_NE(final->find(std::string("\"reason\":\"") + c.reason), std::string::npos) << *final;
    EXPECT_NE(final->find("\"fix\":\""), std::string::npos) << *final;
    logger.reset();
  }
}

}  // namespace
}  // namespace zorvik::testing

namespace zorvik::testing {
namespace {

// --identify asks only what the running application tells: the logger stays
// in its application.
TEST_F(Cli, IdentifyNeverSwitchesTheLoggerToItsBootloader) {
  startLogger();
  const auto r = cli({"--identify", "--port", logger->devicePath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Serial number 100200\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Application version 6.26\n"), std::string::npos) << r.out;
  EXPECT_EQ(count(Request::BootloaderEntry), 0u);
  EXPECT_EQ(logger->mode(), sim::Mode::Application);

  // A minor below ten reads as everywhere else ("6.05"), not as "6.5".
  sim::LoggerConfig earlier;
  earlier.appVersion = 0x0605;
  startLogger(earlier);
  const auto e = cli({"--identify", "--port", logger->devicePath()});
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_NE(e.out.find("Application version 6.05\n"), std::string::npos) << e.out;

  sim::LoggerConfig inBootloader;
  inBootloader.startInBootloader = true;
  startLogger(inBootloader);
  const auto b = cli({"--identify", "--port", logger->devicePath()});
  EXPECT_EQ(b.status, 0);
  EXPECT_NE(b.out.find("is in its bootloader"), std::string::npos) << b.out;
  EXPECT_NE(b.out.find("Run an update to finish it."), std::string::npos) << b.out;

  const auto missing = cli({"--identify", "--port", "/dev/zorvik-missing"});
  EXPECT_EQ(missing.status, 10);
  EXPECT_NE(missing.out.find("no such port"), std::string::npos) << missing.out;
  EXPECT_EQ(cli({"--identify"}).status, 2) << "one port is needed";
}

// --read-info writes nothing but leaves the logger in its bootloader: it says
// so first and asks, as an update does.
TEST_F(Cli, ReadInfoSaysItLeavesTheBootloaderAndAsks) {
  startLogger();
  const auto refused = cli({"--port", logger->devicePath(), "--read-info"});
  EXPECT_EQ(refused.status, 2) << "no terminal, no --yes";
  const auto declined = cli({"--port", logger->devicePath(), "--read-info"}, "No\n", true);
  EXPECT_EQ(declined.status, 1);
  EXPECT_NE(declined.err.find("stays there until the next update"), std::string::npos) << declined.err;
  EXPECT_NE(declined.err.find("The logger stays in its bootloader until the next update.\nDo you really continue ?"),
            std::string::npos);
  EXPECT_TRUE(logger->requests().empty());
  const auto confirmed = cli({"--port", logger->devicePath(), "--read-info", "--yes"});
  EXPECT_EQ(confirmed.status, 70);
  EXPECT_EQ(logger->mode(), sim::Mode::Bootloader) << "as the warning said";
  // The answer in one line, just before the final message.
  const auto out = lines(confirmed.out);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[out.size() - 2], "would get image 12: ZorvikB V6.26");
  EXPECT_EQ(out.back(), "Only read update info!");
}

// --trace writes the documented format: one file, or one per port.
TEST_F(Cli, TraceWritesOneFilePerPort) {
  startLogger();
  sim::SimulatedLogger second;
  ASSERT_TRUE(second.start());
  const std::string file = (configHome_ / "trace.txt").string();
  ASSERT_EQ(cli({"--port", logger->devicePath(), "--yes", "--read-info", "--trace", file}).status, 70);
  std::ifstream single(file);
  std::string header;
  std::getline(single, header);
  EXPECT_EQ(header, "zorvik-line-trace 1");

  ASSERT_EQ(cli({"--port", logger->devicePath(), "--port", second.devicePath(), "--yes", "--read-info", "--trace", file})
                .status,
            70);
  for (const auto& port : {logger->devicePath(), second.devicePath()}) {
    const std::string perPort = file + "." + port.substr(port.find_last_of('/') + 1);
    std::ifstream in(perPort);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("# open " + port), std::string::npos) << perPort;
    EXPECT_NE(text.find("# event 10 70"), std::string::npos) << "the run's final event";
  }
}

// What support does with a trace from the field: the simulator answers as the
// traced logger did, and the updater prints the same report again.
TEST_F(Cli, ATraceReplayedByTheSimulatorGivesTheSameReport) {
  startLogger(sim::loggerFor(12));
  logger->injectFault({sim::FaultKind::AlteredEcho, Request::DataLine, 10});
  const std::string file = (configHome_ / "field.trace").string();
  const auto traced = cli({"--port", logger->devicePath(), "--yes", "--trace", file});
  ASSERT_EQ(traced.status, 0) << "the repeat after the echo error succeeds";
  logger.reset();

  auto loaded = sim::loadReplayScript(file);
  ASSERT_TRUE(loaded.script) << loaded.error;
  sim::ReplayLogger replay(std::move(*loaded.script));
  ASSERT_TRUE(replay.start());
  const auto replayed = cli({"--port", replay.devicePath(), "--yes"});
  EXPECT_EQ(replayed.status, traced.status);

  // The report without its time stamps, and with the pseudo-terminals' names
  // (which differ) cut off.
  const auto texts = [](const std::string& out) {
    std::vector<std::string> result;
    for (std::string line : lines(out)) {
      if (line.size() > 12 && line.compare(8, 4, " -> ") == 0) line = line.substr(12);
      if (const auto at = line.find("/dev/pts/"); at != std::string::npos) line.erase(at);
      result.push_back(line);
    }
    return result;
  };
  const auto tracedTexts = texts(traced.out);
  const auto replayedTexts = texts(replayed.out);
  EXPECT_EQ(replayedTexts, tracedTexts);
  EXPECT_NE(std::find(replayedTexts.begin(), replayedTexts.end(), "Aborted because programming error at line 10 !"),
            replayedTexts.end());
  EXPECT_FALSE(replay.stopped()) << ::testing::PrintToString(replay.takeMessages());
}

}  // namespace
}  // namespace zorvik::testing
