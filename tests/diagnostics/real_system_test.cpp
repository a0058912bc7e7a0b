// The doctor against the real system: real pseudo-terminals, real processes
// in /proc, a real change of user, and the simulated logger answering (or
// not) the wake-up exchange through the real serial code.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "diagnostics/doctor.h"
#include "diagnostics/linux_checks.h"
#include "ports/process_table.h"
#include "sim/simulated_logger.h"
#include "tests/diagnostics/json_line.h"
#include "tests/support/pty_check.h"
#include "tests/support/silent_pty.h"

namespace zorvik::diagnostics {
namespace {

// A child process that runs `sleep` (or, reading, `cat` into /dev/null) with
// the pty's slave as its standard input. The constructor returns once the
// child has exec'd: the pipe's close-on-exec end closes exactly then.
class HoldingChild {
 public:
  enum class Program { Sleep, Cat };
  explicit HoldingChild(const std::string& device, Program program = Program::Sleep) {
    int sync[2];
    if (::pipe2(sync, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(sync[0]);
      const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
      const int sink = ::open("/dev/null", O_WRONLY);
      if (fd < 0 || sink < 0 || ::dup2(fd, 0) < 0 || ::dup2(sink, 1) < 0) {
        const int error = errno;
        (void)!::write(sync[1], &error, sizeof error);
        ::_exit(127);
      }
      if (program == Program::Cat) {
        ::execlp("cat", "cat", static_cast<char*>(nullptr));
      } else {
        ::execlp("sleep", "sleep", "600", static_cast<char*>(nullptr));
      }
      const int error = errno;
      (void)!::write(sync[1], &error, sizeof error);
      ::_exit(127);
    }
    ::close(sync[1]);
    int error = 0;
    ssize_t n;
    do {
      n = ::read(sync[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(sync[0]);
    if (pid_ > 0 && n == 0) running_ = true;
    if (n > 0) why_ = std::string("the holding child could not start: ") + std::strerror(error);
  }
  ~HoldingChild() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  HoldingChild(const HoldingChild&) = delete;
  HoldingChild& operator=(const HoldingChild&) = delete;

  bool running() const { return running_; }
  const std::string& why() const { return why_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool running_ = false;
  std::string why_ = "fork failed";
};

// The simulator as a person starts it: the program zorvik-logger-sim, which
// prints its pseudo-terminal's path and serves it from the master until it
// is told to end.
class SimulatorProcess {
 public:
  SimulatorProcess() {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      if (::dup2(out[1], 1) < 0) ::_exit(127);
      ::execl(ZORVIK_SIM_PATH, "zorvik-logger-sim", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    char c = 0;
    for (ssize_t n; (n = ::read(out[0], &c, 1)) != 0 && c != '\n';) {
      if (n > 0) path_ += c;
      if (n < 0 && errno != EINTR) break;
    }
    ::close(out[0]);
  }
  ~SimulatorProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  const std::string& path() const { return path_; }  // empty: it did not start
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

const Finding* findingOf(const std::vector<Finding>& findings, const std::string& check) {
  const auto it = std::find_if(findings.begin(), findings.end(), [&](const Finding& f) { return f.check == check; });
  return it == findings.end() ? nullptr : &*it;
}

class RealSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = zorvik::testing::ptyUnavailableReason(); !why.empty()) GTEST_SKIP() << why;
  }
};

TEST_F(RealSystem, AChildHoldingThePtyIsNamed) {
  zorvik::testing::SilentPty pty;
  ASSERT_FALSE(pty.path().empty());
  HoldingChild holder(pty.path());
  ASSERT_TRUE(holder.running()) << holder.why();
  const std::string expected = "held by process " + std::to_string(holder.pid()) + " (sleep)";

  const ports::HolderScan scan = ports::processesHolding(pty.path(), "/proc");
  EXPECT_EQ(scan.holders, (std::vector<ports::Holder>{{holder.pid(), "sleep"}}));

  const auto findings = linuxChecks(pty.path(), SystemRoots{}, currentUser()).findings;
  const Finding* held = findingOf(findings, "holder");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(*held, (Finding{"holder", Level::Fail, expected, "close that program"}));

  EXPECT_EQ(explainFailure(pty.path(), {link::FailureKind::Busy, 16, "Device or resource busy"}),
            (engine::Explanation{expected, "close that program"}));
}

// The simulator keeps its pty's slave open besides the master: it serves the
// port, and the doctor must not send the user to close it.
TEST_F(RealSystem, TheSimulatorServingThePtyIsNoHolder) {
  SimulatorProcess simulator;
  ASSERT_FALSE(simulator.path().empty()) << "zorvik-logger-sim did not start";
  const ports::HolderScan scan = ports::processesHolding(simulator.path(), "/proc");
  EXPECT_TRUE(scan.holders.empty());
  EXPECT_EQ(scan.servers, (std::vector<ports::Holder>{{simulator.pid(), "zorvik-logger-s"}}));

  std::ostringstream out;
  EXPECT_EQ(runDoctor(simulator.path(), false, out), 0) << out.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("ok      holder: no other process has it open; process " + std::to_string(simulator.pid()) +
                      " (zorvik-logger-s) serves it from the pseudo-terminal's master"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("ok      logger: a logger answers in its application"), std::string::npos) << text;
  EXPECT_NE(text.find(": nothing stops an update"), std::string::npos) << text;
}

// A program that reads the port beside the updater takes the logger's
// answers: the failure is the other program, not a logger switched off.
TEST_F(RealSystem, AReaderBesideTheSimulatorIsNamedForSpoiltAnswers) {
  SimulatorProcess simulator;
  ASSERT_FALSE(simulator.path().empty()) << "zorvik-logger-sim did not start";
  HoldingChild reader(simulator.path(), HoldingChild::Program::Cat);
  ASSERT_TRUE(reader.running()) << reader.why();
  const std::string named = "another program has the port open too and takes the logger's answers: process " +
                            std::to_string(reader.pid()) + " (cat)";
  for (const link::FailureKind kind : {link::FailureKind::Silent, link::FailureKind::ShortAnswer,
                                       link::FailureKind::DamagedAnswer, link::FailureKind::EchoDiffers}) {
    EXPECT_EQ(explainFailure(simulator.path(), {kind, 0, {}}),
              (engine::Explanation{named, "close that program and try again"}));
  }
  // The simulator is not among those to close; a failure of the port itself
  // keeps its plain words.
  const link::Failure hangUp{link::FailureKind::PortIo, 5, "Input/output error"};
  EXPECT_EQ(explainFailure(simulator.path(), hangUp), engine::failureExplanation(hangUp));

  const auto findings = checkPort(simulator.path());
  const Finding* held = findingOf(findings, "holder");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(*held, (Finding{"holder", Level::Fail, "held by process " + std::to_string(reader.pid()) + " (cat)",
                            "close that program"}));
  const Finding* logger = findingOf(findings, "logger");
  ASSERT_NE(logger, nullptr);
  // Whether cat took every answer or only some is the scheduler's choice;
  // what the doctor blames for a failure is not.
  if (logger->level == Level::Fail) {
    EXPECT_EQ(logger->found, named);
  }
}

TEST_F(RealSystem, ThisProcessIsNoHolderOfItsOwn) {
  zorvik::testing::SilentPty pty;
  ASSERT_FALSE(pty.path().empty());
  const int slave = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(slave, 0);
  const auto findings = linuxChecks(pty.path(), SystemRoots{}, currentUser()).findings;
  ::close(slave);
  const Finding* held = findingOf(findings, "holder");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->level, Level::Ok) << held->found;
}

// Runs in a child that has become nobody: the kernel's own access decision
// for another user, reported back through a pipe.
TEST_F(RealSystem, NobodyGetsThePermissionFinding) {
  if (::geteuid() != 0) GTEST_SKIP() << "becoming user nobody needs root";
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) GTEST_SKIP() << "this system has no user nobody";
  const uid_t nobodyUid = nobody->pw_uid;
  const gid_t nobodyGid = nobody->pw_gid;
  zorvik::testing::SilentPty pty;
  ASSERT_FALSE(pty.path().empty());

  int report[2];
  ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(report[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGid) != 0 || ::setuid(nobodyUid) != 0) ::_exit(2);
    const auto findings = linuxChecks(pty.path(), SystemRoots{}, currentUser()).findings;
    const Finding* permission = findingOf(findings, "permission");
    if (permission == nullptr) ::_exit(3);
    const engine::Explanation why = explainFailure(pty.path(), {link::FailureKind::NoPermission, EACCES, "Permission denied"});
    const std::string text = std::string(levelName(permission->level)) + '\0' + permission->found + '\0' +
                             permission->fix + '\0' + why.reason + '\0' + why.fix;
    std::size_t sent = 0;
    while (sent < text.size()) {
      const ssize_t n = ::write(report[1], text.data() + sent, text.size() - sent);
      if (n <= 0) ::_exit(4);
      sent += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(report[1]);
  std::string received;
  char buffer[512];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    ASSERT_GT(n, 0) << std::strerror(errno);
    received.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(report[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child as nobody ended with " << status;

  std::vector<std::string> parts;
  std::size_t at = 0;
  for (std::size_t end; (end = received.find('\0', at)) != std::string::npos; at = end + 1) {
    parts.push_back(received.substr(at, end - at));
  }
  parts.push_back(received.substr(at));
  ASSERT_EQ(parts.size(), 5u);
  EXPECT_EQ(parts[0], "fail");
  // devpts gives a new slave to its opener (root) with mode 0600 or 0620
  // (group tty may write): either way only the owner may read and write.
  EXPECT_EQ(parts[1].rfind("only its owner root may read and write it (crw-", 0), 0u) << parts[1];
  EXPECT_EQ(parts[2], "use it as its owner root, or pick the logger's port: see zorvik-updater-cli --list-ports");
  // The failed run's words are the permission finding's.
  EXPECT_EQ(parts[3], parts[1]);
  EXPECT_EQ(parts[4], parts[2]);
}

// A refusal that this user's permissions do not show (the port opens now):
// the permission check has nothing to add, the plain words stand, with the
// system's text.
TEST_F(RealSystem, APortThatOpensKeepsThePlainPermissionWords) {
  zorvik::testing::SilentPty pty;
  ASSERT_FALSE(pty.path().empty());
  ASSERT_EQ(::access(pty.path().c_str(), R_OK | W_OK), 0);
  const link::Failure refused{link::FailureKind::NoPermission, EACCES, "Permission denied"};
  EXPECT_EQ(explainFailure(pty.path(), refused), engine::failureExplanation(refused));
  EXPECT_EQ(explainFailure(pty.path(), refused).reason, "no permission to open the port (Permission denied)");
}

TEST_F(RealSystem, APtyIsNotAUsbAdapterButNoFailure) {
  zorvik::testing::SilentPty pty;
  ASSERT_FALSE(pty.path().empty());
  const auto checks = linuxChecks(pty.path(), SystemRoots{}, currentUser());
  const Finding* driver = findingOf(checks.findings, "driver");
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(*driver, (Finding{"driver", Level::Warning,
                              "not a USB adapter: " + pty.path() + " is a pseudo-terminal (as the simulated logger uses)",
                              "for a real logger pick its USB port: see zorvik-updater-cli --list-ports"}));
  const Finding* device = findingOf(checks.findings, "device");
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(*device, (Finding{"device", Level::Ok, pty.path() + " exists", {}}));
  for (const Finding& f : checks.findings) EXPECT_NE(f.level, Level::Fail) << f.check << ": " << f.found;
}

TEST_F(RealSystem, NobodyAnsweringIsNoAnswerAtAll) {
  zorvik::testing::SilentPty pty;
  ASSERT_FALSE(pty.path().empty());
  const auto findings = checkPort(pty.path());
  const Finding* logger = findingOf(findings, "logger");
  ASSERT_NE(logger, nullptr);
  EXPECT_EQ(*logger, (Finding{"logger", Level::Fail, "no answer at all", "is the logger switched on and the cable in?"}));
}

// An update killed with SIGKILL while it held the simulator's port: the
// exclusive flag it set stays, since the simulator keeps the port open, and
// every later open is refused. The doctor names the flag and how to clear it.
TEST_F(RealSystem, AnExclusiveFlagLeftByAKilledUpdateIsNamedWithItsFix) {
  sim::SimulatedLogger logger;
  ASSERT_TRUE(logger.start());
  const std::string port = logger.devicePath();
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t updater = ::fork();
  ASSERT_GE(updater, 0);
  if (updater == 0) {
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const char byte = fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? 'x' : '-';
    [[maybe_unused]] const ssize_t n = ::write(ready[1], &byte, 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  const bool set = ::read(ready[0], &byte, 1) == 1 && byte == 'x';
  ::close(ready[0]);
  ::kill(updater, SIGKILL);
  ::waitpid(updater, nullptr, 0);
  ASSERT_TRUE(set) << "the child could not set the flag";

  const auto findings = checkPort(port);
  const Finding* exclusive = findingOf(findings, "exclusive");
  ASSERT_NE(exclusive, nullptr);
  EXPECT_EQ(exclusive->level, Level::Fail);
  EXPECT_NE(exclusive->found.find(port + " is in exclusive mode (TIOCEXCL)"), std::string::npos) << exclusive->found;
  EXPECT_NE(exclusive->fix.find("os.open('" + port + "'"), std::string::npos) << exclusive->fix;
  EXPECT_NE(exclusive->fix.find("termios.TIOCNXCL"), std::string::npos) << exclusive->fix;
  const Finding* open = findingOf(findings, "open");
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->level, Level::Fail);
  EXPECT_EQ(open->fix, exclusive->fix) << "a refused open says the same";
}

class SimulatedLoggerDoctor : public RealSystem {
 protected:
  void start(const sim::LoggerConfig& config) {
    logger_ = std::make_unique<sim::SimulatedLogger>(config);
    ASSERT_TRUE(logger_->start());
  }
  std::unique_ptr<sim::SimulatedLogger> logger_;
};

TEST_F(SimulatedLoggerDoctor, ALoggerInItsApplicationAnswersAndStaysThere) {
  start({});
  const std::string port = logger_->devicePath();
  const auto findings = checkPort(port);
  const Finding* open = findingOf(findings, "open");
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(*open, (Finding{"open", Level::Ok, "opened " + port + " at 9600 baud, 8 data bits, no parity", {}}));
  const Finding* logger = findingOf(findings, "logger");
  ASSERT_NE(logger, nullptr);
  EXPECT_EQ(*logger,
            (Finding{"logger", Level::Ok,
                     "a logger answers in its application: class 26113 [ZorvikB], version 6.26, serial number 100200",
                     {}}));
  // The wake-up and the two queries, nothing that would switch the logger.
  EXPECT_EQ(logger_->requests(), (std::vector<sim::Request>{sim::Request::NullFrame, sim::Request::NullFrame,
                                                            sim::Request::IdentityQuery, sim::Request::SerialQuery}));
  EXPECT_EQ(logger_->mode(), sim::Mode::Application);
}

TEST_F(SimulatedLoggerDoctor, ALoggerInItsBootloaderIsReportedAsSuch) {
  sim::LoggerConfig config;
  config.startInBootloader = true;
  start(config);
  const std::string port = logger_->devicePath();
  const auto findings = checkPort(port);
  const Finding* logger = findingOf(findings, "logger");
  ASSERT_NE(logger, nullptr);
  EXPECT_EQ(*logger, (Finding{"logger", Level::Warning,
                              "a logger answers in its bootloader (class 51202 [BL3]): an earlier update stopped "
                              "half-way, and the logger has no working firmware until an update finishes",
                              "run an update to finish it: zorvik-updater-cli --port " + port}));
  EXPECT_EQ(logger_->mode(), sim::Mode::Bootloader);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST_F(SimulatedLoggerDoctor, TheCommandsLinesForAnAnsweringLogger) {
  start({});
  const std::string port = logger_->devicePath();
  std::ostringstream out;
  EXPECT_EQ(runDoctor(port, false, out), 0);
  const auto text = lines(out.str());
  ASSERT_EQ(text.size(), 7u) << out.str();
  EXPECT_EQ(text[0], "ok      device: " + port + " exists");
  EXPECT_EQ(text[1], "warning driver: not a USB adapter: " + port +
                         " is a pseudo-terminal (as the simulated logger uses); fix: for a real logger pick its USB "
                         "port: see zorvik-updater-cli --list-ports");
  EXPECT_EQ(text[2].rfind("ok      permission: you may open it read-write", 0), 0u) << text[2];
  EXPECT_EQ(text[3], "ok      holder: no other process has it open");
  EXPECT_EQ(text[4], "ok      open: opened " + port + " at 9600 baud, 8 data bits, no parity");
  EXPECT_EQ(text[5], "ok      logger: a logger answers in its application: class 26113 [ZorvikB], version 6.26, "
                     "serial number 100200");
  EXPECT_EQ(text[6], "summary: 5 ok, 1 warning, 0 failed: nothing stops an update");
}

TEST_F(SimulatedLoggerDoctor, TheCommandsJsonForAnAnsweringLogger) {
  start({});
  const std::string port = logger_->devicePath();
  std::ostringstream out;
  EXPECT_EQ(runDoctor(port, true, out), 0);
  const auto text = lines(out.str());
  ASSERT_EQ(text.size(), 7u) << out.str();
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"device", "ok"}, {"driver", "warning"}, {"permission", "ok"}, {"holder", "ok"}, {"open", "ok"}, {"logger", "ok"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto line = testing::parseJsonLine(text[i]);
    ASSERT_TRUE(line) << text[i];
    EXPECT_EQ(line->at("type").text, "check");
    EXPECT_EQ(line->at("check").text, expected[i].first);
    EXPECT_EQ(line->at("level").text, expected[i].second);
    EXPECT_EQ(line->at("port").text, port);
    EXPECT_EQ(line->at("schema"), (testing::JsonValue{false, "2"}));
    EXPECT_TRUE(line->count("found") && line->count("fix") && line->count("utc")) << text[i];
    EXPECT_EQ(line->at("fix").text.empty(), expected[i].second == "ok") << text[i];
  }
  const auto summary = testing::parseJsonLine(text[6]);
  ASSERT_TRUE(summary) << text[6];
  EXPECT_EQ(summary->at("type").text, "summary");
  EXPECT_EQ(summary->at("ok").text, "5");
  EXPECT_EQ(summary->at("warning").text, "1");
  EXPECT_EQ(summary->at("fail").text, "0");
  EXPECT_EQ(summary->at("status").text, "0");
}

}  // namespace
}  // namespace zorvik::diagnostics
