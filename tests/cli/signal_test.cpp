// The command-line updater as tools and people stop it: signals sent to the
// real program while it programs the simulated logger on a pseudo-terminal,
// and a reader that goes away (`| head -2`). Every such stop ends the run
// cleanly (final line, history row, port released with its exclusive flag
// cleared), so that the next update on the same port works.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "images/catalogue.h"
#include "sim/simulated_logger.h"

namespace zorvik::testing {
namespace {

#ifdef ZORVIK_CLI_PATH

using namespace std::chrono_literals;

constexpr int kImage = 12;  // the image the simulator's defaults receive

std::map<std::uint16_t, std::string> dataLinesOfImage() {
  const images::ImageSource builtIn;
  std::map<std::uint16_t, std::string> lines;
  for (int i = 0; i < builtIn.lastLine(kImage); ++i) {
    const std::string line(builtIn.line(kImage, i));
    if (line.rfind(":40", 0) != 0 || line.substr(7, 2) != "00") continue;
    lines[static_cast<std::uint16_t>(std::stoi(line.substr(3, 4), nullptr, 16))] = line;
  }
  return lines;
}

[[noreturn]] void execCli(const std::vector<std::string>& arguments) {
  std::vector<char*> argv{const_cast<char*>(ZORVIK_CLI_PATH)};
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(ZORVIK_CLI_PATH, argv.data());
  ::_exit(127);
}

// The program's standard output on a pipe, its standard error discarded,
// in a process group of its own as a shell's job is.
struct PipedCli {
  pid_t pid = -1;
  int out = -1;
};

PipedCli startPiped(const std::vector<std::string>& arguments) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::setpgid(0, 0);
    ::dup2(fds[1], STDOUT_FILENO);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDERR_FILENO);
    ::dup2(null, STDIN_FILENO);
    ::close(fds[0]);
    ::close(fds[1]);
    execCli(arguments);
  }
  ::setpgid(child, child);
  ::close(fds[1]);
  return {child, fds[0]};
}

// Everything left on `fd` until the writer closes it.
std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    else if (n < 0 && errno == EINTR) continue;
    else break;
  }
  ::close(fd);
  return text;
}

// "exit N" or "signal N", as a shell would tell them apart.
std::string howEnded(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return "not waited for";
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "unknown";
}

std::string lastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.substr(text.find_last_of('\n') + 1);
}

std::size_t dataLinesSent(const sim::SimulatedLogger& logger) {
  const auto requests = logger.requests();
  return static_cast<std::size_t>(std::count(requests.begin(), requests.end(), sim::Request::DataLine));
}

// Until 20 more data lines came than `before` (the requests of earlier runs).
bool waitUntilProgramming(const sim::SimulatedLogger& logger, std::size_t before = 0) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (dataLinesSent(logger) < before + 20) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// The device's exclusive flag as another program meets it: set, an open
// is refused (EBUSY), or for root, which may open anyway, TIOCGEXCL says so.
bool exclusiveFlagSet(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == EBUSY;
  int exclusive = 0;
  const bool set = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
  ::close(fd);
  return set;
}

class StoppedUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!logger_.start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
    std::string folder = (std::filesystem::temp_directory_path() / "zorvik-signal-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    folder_ = folder;
    db_ = folder_ + "/history.sqlite";
  }
  void TearDown() override {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }

  std::vector<std::string> update(bool json = false) {
    std::vector<std::string> a{"--port", logger_.devicePath(), "--yes", "--history-db", db_};
    if (json) a.push_back("--json");
    return a;
  }

  std::string history() {
    const PipedCli cli = startPiped({"--history", "--json", "--history-db", db_});
    const std::string text = readAll(cli.out);
    howEnded(cli.pid);
    return text;
  }

  // After the stop: the port is free and not exclusive, and the next update
  // programs the whole image.
  void expectNextUpdateWorks() {
    EXPECT_FALSE(exclusiveFlagSet(logger_.devicePath())) << "the exclusive flag outlived the program";
    const int restarts = logger_.restarts();
    const PipedCli again = startPiped(update());
    const std::string text = readAll(again.out);
    EXPECT_EQ(howEnded(again.pid), "exit 0") << text;
    EXPECT_EQ(logger_.flash(), dataLinesOfImage()) << "the whole image after the second update";
    EXPECT_EQ(logger_.restarts(), restarts + 1);
  }

  sim::SimulatedLogger logger_;
  std::string folder_;
  std::string db_;
};

struct SignalCase {
  const char* name;
  int signal;
};

// `timeout 3 zorvik-updater-cli ...` sends SIGTERM to the program and to
// its group; a closed terminal window sends SIGHUP the same way; kill -INT
// twice is the same request twice.
const SignalCase kDuplicateSignals[] = {
    {"SIGTERM to the program and its group (timeout)", SIGTERM},
    {"SIGHUP to the program and its group", SIGHUP},
    {"SIGINT twice from kill", SIGINT},
};

TEST_F(StoppedUpdate, ASignalArrivingTwiceCancelsCleanly) {
  for (const SignalCase& c : kDuplicateSignals) {
    SCOPED_TRACE(c.name);
    const std::size_t before = dataLinesSent(logger_);
    const PipedCli cli = startPiped(update());
    ASSERT_TRUE(waitUntilProgramming(logger_, before));
    ::kill(cli.pid, c.signal);
    ::kill(-cli.pid, c.signal);
    const std::string text = readAll(cli.out);
    EXPECT_EQ(howEnded(cli.pid), "exit 20") << text;
    EXPECT_NE(lastLine(text).find("Process cancelled!"), std::string::npos) << text;
    EXPECT_NE(history().find("\"state\":\"finished\""), std::string::npos) << "the row was ended";
    expectNextUpdateWorks();
  }
}

// A station stopped by `timeout` (SIGTERM to it and its group) while it
// updates a unit ends as for a Ctrl-C: the unit's run ends, the counters are
// printed, and the status is the station's own, not 130.
TEST_F(StoppedUpdate, AStationStoppedByTimeoutPrintsItsCounters) {
  const std::filesystem::path watch = std::filesystem::path(folder_) / "watch";
  std::filesystem::create_directories(watch);
  const PipedCli cli = startPiped({"--station", "--yes", "--json", "--watch-dir", watch.string(), "--history-db", db_});
  std::filesystem::create_symlink(logger_.devicePath(), watch / "unit");
  ASSERT_TRUE(waitUntilProgramming(logger_));
  ::kill(cli.pid, SIGTERM);
  ::kill(-cli.pid, SIGTERM);
  const std::string text = readAll(cli.out);
  const std::string ended = howEnded(cli.pid);
  EXPECT_EQ(ended.rfind("exit ", 0), 0u) << ended;
  EXPECT_NE(ended, "exit 130") << text;
  EXPECT_NE(lastLine(text).find("\"type\":\"counters\""), std::string::npos) << text;
  EXPECT_NE(lastLine(text).find("\"final\":true"), std::string::npos) << text;
  expectNextUpdateWorks();
}

// SIGKILL cannot be handled: the row stays without an end, but it names the
// logger whose flash was left half-written, as that serial number was
// written into it when it was read.
TEST_F(StoppedUpdate, AKilledUpdateStillNamesItsLogger) {
  const PipedCli cli = startPiped(update());
  ASSERT_TRUE(waitUntilProgramming(logger_));
  ::kill(cli.pid, SIGKILL);
  readAll(cli.out);
  EXPECT_EQ(howEnded(cli.pid), "signal 9");
  const std::string rows = history();
  EXPECT_NE(rows.find("\"state\":\"interrupted\""), std::string::npos) << rows;
  EXPECT_NE(rows.find("\"serial\":100200,"), std::string::npos) << rows;
}

// `zorvik-updater-cli --port P --yes --json | head -2`: the reader leaves
// after two lines, and the update goes on to its end regardless.
TEST_F(StoppedUpdate, AClosedOutputPipeDoesNotStopTheUpdate) {
  const PipedCli cli = startPiped(update(true));
  FILE* out = ::fdopen(cli.out, "r");
  ASSERT_NE(out, nullptr);
  char line[4096];
  for (int i = 0; i < 2; ++i) ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  std::fclose(out);  // head exits
  EXPECT_EQ(howEnded(cli.pid), "exit 0") << "the status still tells the update's result";
  EXPECT_EQ(logger_.flash(), dataLinesOfImage()) << "the whole image was programmed";
  EXPECT_EQ(logger_.restarts(), 1);
  const std::string rows = history();
  EXPECT_NE(rows.find("\"state\":\"finished\""), std::string::npos) << rows;
  EXPECT_NE(rows.find("\"resultCode\":0"), std::string::npos) << rows;
  EXPECT_FALSE(exclusiveFlagSet(logger_.devicePath()));
  const PipedCli identify = startPiped({"--port", logger_.devicePath(), "--identify"});
  const std::string text = readAll(identify.out);
  EXPECT_EQ(howEnded(identify.pid), "exit 0") << text;
}

// On a terminal, Ctrl-C typed twice at once is one request: the update is
// cancelled cleanly. A second Ctrl-C typed a second later, while the first
// has not yet ended the program (it waits out the pause before a repeat),
// quits at once.
class KeyboardInterrupt : public ::testing::Test {
 protected:
  static std::string scratchDb(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("zorvik-signal-" + name + "-" + std::to_string(::getpid()) + ".sqlite"))
        .string();
  }
  void start(const std::vector<std::string>& arguments) {
    const pid_t child = ::forkpty(&master_, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) execCli(arguments);
    pid_ = child;
  }
  void typeCtrlC() {
    const char interrupt = 3;  // VINTR of a fresh terminal
    ASSERT_EQ(::write(master_, &interrupt, 1), 1);
  }
  // What the terminal showed until the program ended.
  std::string shown() {
    std::string text;
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
      else if (n < 0 && errno == EINTR) continue;
      else break;  // EIO once the program has gone
    }
    return text;
  }
  // Reads until `text` appears; what was read.
  std::string waitFor(const std::string& text) {
    std::string seen;
    char buffer[512];
    while (seen.find(text) == std::string::npos) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      seen.append(buffer, static_cast<std::size_t>(n));
    }
    return seen;
  }
  void TearDown() override {
    if (master_ >= 0) ::close(master_);
  }

  pid_t pid_ = -1;
  int master_ = -1;
};

TEST_F(KeyboardInterrupt, TwoAtOnceCancelCleanly) {
  sim::SimulatedLogger logger;
  if (!logger.start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  const std::string db = scratchDb("kb1");
  start({"--port", logger.devicePath(), "--yes", "--history-db", db});
  ASSERT_TRUE(waitUntilProgramming(logger));
  const char both[] = {3, 3};
  ASSERT_EQ(::write(master_, both, 2), 2);
  const std::string text = shown();
  EXPECT_EQ(howEnded(pid_), "exit 20") << text;
  EXPECT_NE(text.find("Process cancelled!"), std::string::npos) << text;
  EXPECT_FALSE(exclusiveFlagSet(logger.devicePath()));
  std::remove(db.c_str());
}

TEST_F(KeyboardInterrupt, ASecondOneASecondLaterQuitsAtOnce) {
  sim::SimulatedLogger logger;
  if (!logger.start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  logger.injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 1000});
  const std::string db = scratchDb("kb2");
  start({"--port", logger.devicePath(), "--yes", "--history-db", db});
  const std::string before = waitFor("Repeat update because communication error!");
  ASSERT_NE(before.find("Repeat update"), std::string::npos) << before;
  typeCtrlC();
  std::this_thread::sleep_for(1100ms);  // the repeat waits 1500 ms
  typeCtrlC();
  const std::string text = shown();
  EXPECT_EQ(howEnded(pid_), "exit 130") << text;
  EXPECT_EQ(text.find("Process cancelled!"), std::string::npos) << "quit before the cancel could end the run";
  std::remove(db.c_str());
}

#endif

}  // namespace
}  // namespace zorvik::testing
