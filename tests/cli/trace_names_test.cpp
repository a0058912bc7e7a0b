// Which file each port's trace goes to, and two names for one device: with
// several ports no two traces may share a file (they would interleave and
// could not be replayed), and one logger named twice is refused before
// anything is sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "apps/cli/cli.h"
#include "tests/cli/cli_runner.h"
#include "apps/cli/port_names.h"
#include "sim/simulated_logger.h"
#include "tests/support/test_support.h"

namespace zorvik::testing {
namespace {

namespace fs = std::filesystem;

TEST(TraceFiles, EveryPortHasAFileOfItsOwn) {
  const struct {
    const char* name;
    std::vector<std::string> ports;
    std::vector<std::string> files;
  } cases[] = {
      {"one port: the file itself", {"/dev/pts/3"}, {"F"}},
      {"last parts that differ", {"/dev/ttyUSB0", "/dev/ttyUSB1"}, {"F.ttyUSB0", "F.ttyUSB1"}},
      {"Windows names", {"COM5", "\\\\.\\COM7"}, {"F.COM5", "F.COM7"}},
      {"same last part", {"/dev/pts/3", "/x/3"}, {"F.dev-pts-3", "F.x-3"}},
      {"a bare name and its path", {"ttyUSB0", "/dev/ttyUSB0"}, {"F.ttyUSB0", "F.dev-ttyUSB0"}},
      {"same whole path once flattened", {"/a-b/c", "/a/b/c", "/d"}, {"F.a-b-c-1", "F.a-b-c-2", "F.d-3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cli::traceFilesFor("F", c.ports), c.files);
  }
}

class TracedPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zorvik-trace-names-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    first_ = std::make_unique<sim::SimulatedLogger>();
    second_ = std::make_unique<sim::SimulatedLogger>();
    if (!first_->start() || !second_->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  }
  void TearDown() override {
    first_.reset();
    second_.reset();
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir_);
  }

  static CliResult cli(const std::vector<std::string>& arguments) { return runCliHere(arguments); }

  fs::path dir_;
  std::unique_ptr<sim::SimulatedLogger> first_;
  std::unique_ptr<sim::SimulatedLogger> second_;
};

// The case: /dev/pts/N and another folder's link named N.
TEST_F(TracedPorts, PortsWithTheSameLastPartWriteTwoTraces) {
  const std::string firstPort = first_->devicePath();
  const fs::path link = dir_ / "x" / fs::path(firstPort).filename();
  fs::create_directories(link.parent_path());
  fs::create_symlink(second_->devicePath(), link);
  const std::string trace = (dir_ / "F").string();

  const auto r = cli({"--port", firstPort, "--port", link.string(), "--yes", "--read-info", "--trace", trace});
  ASSERT_EQ(r.status, 70) << r.out << r.err;
  const std::vector<std::string> files = cli::traceFilesFor(trace, {firstPort, link.string()});
  ASSERT_NE(files[0], files[1]);
  const std::string firstTrace = readFile(files[0]);
  const std::string secondTrace = readFile(files[1]);
  EXPECT_NE(firstTrace.find("# open " + firstPort + "\n"), std::string::npos) << firstTrace;
  EXPECT_EQ(firstTrace.find("# open " + link.string()), std::string::npos) << "the other port's bytes are in it";
  EXPECT_NE(secondTrace.find("# open " + link.string()), std::string::npos) << secondTrace;
  for (const std::string* text : {&firstTrace, &secondTrace}) {
    EXPECT_EQ(text->rfind("zorvik-line-trace 1", 0), 0u) << "one header at the start";
    EXPECT_EQ(text->find("zorvik-line-trace 1", 1), std::string::npos) << "a second trace in the same file";
  }
}

// One logger by two names would be two runs fighting over it: refused before
// the port is opened.
TEST_F(TracedPorts, TwoNamesOfOneDeviceAreAUsageError) {
  const std::string port = first_->devicePath();
  const fs::path link = dir_ / "by-id-link";
  fs::create_symlink(port, link);
  const fs::path viaParent = fs::path(port).parent_path() / ".." / fs::path(port).parent_path().filename() /
                             fs::path(port).filename();
  for (const std::string& other : {viaParent.string(), link.string()}) {
    SCOPED_TRACE(other);
    const auto r = cli({"--port", port, "--port", other, "--yes"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.err.find("are one device"), std::string::npos) << r.err;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(first_->requests().empty());
  EXPECT_EQ(first_->bytesReceived(), 0u);
}

}  // namespace
}  // namespace zorvik::testing
