// The command line on a port where the logger cannot be heard, as users met
// it: a wrong port that exists (a pseudo-terminal with nothing behind it)
// repeated for ever, and a port another program reads too (a second process
// holding the simulator's pty) blamed on a logger switched off.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <string>
#include <vector>

#include "apps/cli/cli.h"
#include "tests/cli/cli_runner.h"
#include "sim/logger_for_image.h"
#include "sim/simulated_logger.h"
#include "tests/support/silent_pty.h"

namespace zorvik::testing {
namespace {

// Both streams as one: what the person at the terminal reads.
CliResult runUpdate(const std::vector<std::string>& arguments) {
  CliSetup setup;
  setup.keepHistory = false;
  CliResult r = runCliHere(arguments, setup);
  r.out += r.err;
  return r;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(WrongPort, NoLoggerEverAnsweringEndsTheUpdateAfterThreeRuns) {
  SilentPty pty;
  if (pty.path().empty()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  const CliResult r = runUpdate({"--port", pty.path(), "--yes"});
  EXPECT_EQ(r.status, 30) << r.out;
  EXPECT_EQ(occurrences(r.out, "Start at serial port"), 3u) << r.out;
  EXPECT_EQ(occurrences(r.out, "Repeat update because communication error!"), 2u) << r.out;
  EXPECT_NE(r.out.find("no logger answers on " + pty.path() + ": is this the logger's port?"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("is the logger switched on"), std::string::npos) << r.out;
  // The last line is the final message.
  EXPECT_NE(r.out.rfind("Update failed: no answer from the logger after 3 runs.\n"), std::string::npos) << r.out;
}

TEST(WrongPort, FewerRepeatsAskedForStillEndEarlier) {
  SilentPty pty;
  if (pty.path().empty()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  const CliResult r = runUpdate({"--port", pty.path(), "--yes", "--max-repeats", "0", "--json"});
  EXPECT_EQ(r.status, 30) << r.out;
  EXPECT_EQ(occurrences(r.out, "\"type\":\"start\""), 1u) << r.out;
  // One silent run says nothing about the port yet.
  EXPECT_NE(r.out.find("\"reason\":\"no answer at all\""), std::string::npos) << r.out;
}

// `cat` with the pty's slave as its input: a terminal program left open on
// the logger's port, reading whatever comes.
class Reader {
 public:
  explicit Reader(const std::string& device) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
      const int sink = ::open("/dev/null", O_WRONLY);
      if (fd < 0 || sink < 0 || ::dup2(fd, 0) < 0 || ::dup2(sink, 1) < 0) ::_exit(127);
      ::execlp("cat", "cat", static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Reader() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // True once cat has the device open (its descriptor 0 is the device).
  bool holds(const std::string& device) const {
    for (int i = 0; i < 500; ++i) {
      char link[256] = {};
      const std::string fd0 = "/proc/" + std::to_string(pid_) + "/fd/0";
      const ssize_t n = ::readlink(fd0.c_str(), link, sizeof link - 1);
      char comm[32] = {};
      const int commFd = ::open(("/proc/" + std::to_string(pid_) + "/comm").c_str(), O_RDONLY);
      if (commFd >= 0) {
        (void)!::read(commFd, comm, sizeof comm - 1);
        ::close(commFd);
      }
      if (n > 0 && std::string(link, static_cast<std::size_t>(n)) == device && std::string(comm) == "cat\n") return true;
      ::usleep(10'000);
    }
    return false;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

TEST(SharedPort, TheProgramThatReadsThePortTooIsNamedAfterTheFailedUpdate) {
  sim::SimulatedLogger logger(sim::loggerFor(12));
  if (!logger.start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  Reader reader(logger.devicePath());
  ASSERT_TRUE(reader.holds(logger.devicePath()));
  const CliResult r = runUpdate({"--port", logger.devicePath(), "--yes", "--max-repeats", "2"});
  const std::string holder = "process " + std::to_string(reader.pid()) + " (cat)";
  const std::size_t warned =
      r.out.find("another program has the port open too and may take the logger's answers: " + holder +
                 ": close that program before the update");
  EXPECT_LT(warned, r.out.find("Start at serial port")) << "said before the first run\n" << r.out;
  // Which bytes cat takes is the scheduler's choice: the update fails, and
  // whatever way it failed, the reader is named as the cause.
  ASSERT_NE(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("another program has the port open too and takes the logger's answers: process " +
                       std::to_string(reader.pid()) + " (cat): close that program and try again"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("is the logger switched on"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace zorvik::testing
