// Bad input wherever a user can reach the command-line updater: port names,
// image files and switches. Each gets a clear error, and nothing changes:
// the logger hears nothing (or at least is never programmed) and files stay
// as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "apps/cli/cli.h"
#include "tests/cli/cli_runner.h"
#include "engine/run_options.h"
#include "images/catalogue.h"
#include "images/image_file.h"
#include "sim/simulated_logger.h"
#include "tests/support/test_support.h"

namespace zorvik::testing {
namespace {

namespace fs = std::filesystem;
using sim::Request;

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zorvik-bad-input-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    logger_ = std::make_unique<sim::SimulatedLogger>();
    if (!logger_->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  }
  void TearDown() override {
    logger_.reset();
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir_);
  }

  void enableServiceMode() {
    fs::create_directories(dir_ / "Harventa");
    std::ofstream(dir_ / "Harventa" / "Qorn.conf") << "[General]\nintern=7406\n";
  }

  fs::path write(const std::string& name, const std::string& content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  static CliResult cli(const std::vector<std::string>& arguments) { return runCliHere(arguments); }

  // Frames written without an answer may still be on their way.
  void expectLoggerUntouched() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(logger_->requests().empty());
    EXPECT_EQ(logger_->bytesReceived(), 0u);
  }

  std::string port() const { return logger_->devicePath(); }

  fs::path dir_;
  std::unique_ptr<sim::SimulatedLogger> logger_;
};

// No port name that is not a serial port gets anything written to it.
TEST_F(BadInput, PortNamesThatAreNoSerialPort) {
  const fs::path file = write("notes.txt", "keep me\n");
  const std::string fileBefore = readFile(file);
  const auto fileTime = fs::last_write_time(file);
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    const char* name;
    std::string port;
    int status;
    const char* text;  // in the error stream (usage) or the report (error 10)
  } cases[] = {
      {"empty", "", 2, "no port given"},
      {"10,000 characters", std::string(10'000, 'x'), 10, "is not ready!"},
      {"10,000 characters after the logger's path", port() + std::string(10'000, '/'), 10, "is not ready!"},
      {"a regular file", file.string(), 10, "is not ready!"},
      {"a directory", dir_.string(), 10, "is not ready!"},
      {"a fifo", fifo.string(), 10, "is not ready!"},
      {"not a terminal", "/dev/null", 10, "is not ready!"},
      {"newline inside", port() + "\nX", 10, "is not ready!"},
      {"trailing blank", port() + " ", 10, "is not ready!"},
      {"shell characters", "/dev/tty*;$(touch x)`id`", 10, "is not ready!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = cli({"--port", c.port, "--yes"});
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE((c.status == 2 ? r.err : r.out).find(c.text), std::string::npos) << r.out << r.err;
    expectLoggerUntouched();
  }
  EXPECT_EQ(readFile(file), fileBefore);
  EXPECT_EQ(fs::last_write_time(file), fileTime);
  EXPECT_FALSE(fs::exists("x")) << "the port name reached a shell";
}

// A file that programming would not take whole is refused before the port is
// opened: the logger is neither switched to its bootloader nor written.
TEST_F(BadInput, ImageFilesThatAreNoWholeImage) {
  enableServiceMode();
  const images::ImageSource builtIn;
  std::string image12;
  for (int i = 0; i <= builtIn.lastLine(12); ++i) image12 += std::string(builtIn.line(12, i)) + "\n";
  const std::string header =
      "bootloader=3\nbootloader version=0\nclass=26113\nversionH=6\nversionL=26\nplatform=24\nprint=53\n"
      "date=01.01.2026 00:00:00\n";
  const std::string firstLine = std::string(builtIn.line(12, 0)) + "\n";
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131 + 7) % 256));
  std::string withNul = firstLine;
  withNul[20] = '\0';

  const struct {
    const char* name;
    std::string content;
    const char* text;
  } cases[] = {
      {"binary garbage", garbage, "header is not a firmware image header"},
      {"only NUL bytes", std::string(1000, '\0'), "header is not a firmware image header"},
      {"a line of 10,000 characters", header + firstLine + std::string(10'000, 'A') + "\n:00000001FF\n",
       "record line 1 "},
      {"a NUL byte inside a record", header + withNul + ":00000001FF\n", "record line 0 "},
      {"no end line", header + image12.substr(0, image12.rfind(":00000001FF")), "not the end record"},
      {"header only", header, "not the end record"},
      {"a blank line amid the records", header + firstLine + "\n" + ":00000001FF\n", "record line 1 "},
      // Sound records, but none programming sends: the start record would
      // erase the logger and the run would end "successfully" with nothing written.
      {"only 16-byte records",
       header + ":10000000000102030405060708090A0B0C0D0E0F78\n:10001000101112131415161718191A1B1C1D1E1F68\n:00000001FF\n",
       "no data line to program"},
      {"only an extended address record", header + ":020000040800F2\n:00000001FF\n", "no data line to program"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = write("image.txt", c.content);
    const auto r = cli({"--port", port(), "--image", file.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot load image file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was sent"), std::string::npos);
    EXPECT_EQ(readFile(file), c.content);
    expectLoggerUntouched();
    EXPECT_EQ(logger_->mode(), sim::Mode::Application) << "the logger keeps running its programmed image";
  }
  {
    SCOPED_TRACE("a huge file");
    const fs::path file = write("huge.txt", header);
    fs::resize_file(file, images::kMaxImageFileBytes * 4);  // sparse
    const auto r = cli({"--port", port(), "--image", file.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("far larger"), std::string::npos) << r.err;
    EXPECT_EQ(fs::file_size(file), images::kMaxImageFileBytes * 4);
    expectLoggerUntouched();
  }
}

TEST_F(BadInput, SwitchesAndTheirValues) {
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    const char* text;
  } cases[] = {
      {"huge repeat count", {"--max-repeats", "99999999999999999999999"}, "--max-repeats needs a number"},
      {"just too many repeats", {"--max-repeats", "1000000"}, "--max-repeats needs a number"},
      {"negative repeat count", {"--max-repeats", "-1"}, "--max-repeats needs a number"},
      {"negative repeat count after =", {"--max-repeats=-1"}, "--max-repeats needs a number"},
      {"repeat count with a sign", {"--max-repeats", "+3"}, "--max-repeats needs a number"},
      {"repeat count in hex", {"--max-repeats", "0x10"}, "--max-repeats needs a number"},
      {"empty repeat count", {"--max-repeats="}, "--max-repeats needs a number"},
      {"missing repeat count", {"--max-repeats"}, "--max-repeats needs a value"},
      {"missing port", {"--port"}, "--port needs a value"},
      {"port swallowing the next switch", {"--port", "--yes"}, "--port needs a value"},
      {"missing image", {"--image"}, "--image needs a value"},
      {"unknown switch", {"--frobnicate"}, "unknown argument \"--frobnicate\""},
      {"single dash", {"-port"}, "unknown argument"},
      {"bare word", {"update"}, "unknown argument"},
      {"value on a flag", {"--yes=no"}, "--yes takes no value"},
      {"same port given twice", {"--port", "/dev/ttyUSB0", "--port", "/dev/ttyUSB0"}, "\"/dev/ttyUSB0\" is given more than once"},
      {"empty port among others", {"--port", "/dev/ttyUSB0", "--port", ""}, "no port given"},
      {"repeat count given twice", {"--max-repeats", "1", "--max-repeats=2"}, "--max-repeats is given more than once"},
      {"service option outside service mode", {"--no-check-class"}, "service-mode options"},
      // --identify never leaves the application; --read-info needs the
      // bootloader: one of them would be ignored without a word.
      {"identify and read info", {"--identify", "--read-info"}, "--identify and --read-info do not go together"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = c.arguments;
    // Everything else an update needs is there: only the bad switch can stop it.
    if (std::string(c.name).find("port") == std::string::npos) {
      arguments.insert(arguments.begin(), {"--port", port()});
    }
    arguments.push_back("--yes");
    const auto r = cli(arguments);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
    expectLoggerUntouched();
  }
}

// The limits themselves still work: 999999 repeats and flags given twice.
TEST_F(BadInput, LargestRepeatCountAndRepeatedFlagsAreAccepted) {
  const auto r = cli({"--port", port(), "--yes", "--yes", "--read-info", "--read-info", "--max-repeats", "999999"});
  EXPECT_EQ(r.status, 70) << r.err;
}

}  // namespace
}  // namespace zorvik::testing
