// The process table: which processes hold a file, read from a /proc built in
// a temporary directory; the stat line as /proc gives it; and whether a
// process lives, asked of this system about processes made here.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "ports/process_table.h"
#include "tests/diagnostics/fake_system.h"

namespace zorvik::ports {
namespace {

using diagnostics::testing::FakeSystem;

TEST(ProcessTable, NamesTheProcessesThatHoldTheFile) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, std::string>> processes;  // pid, the file its descriptor 3 shows
    std::vector<Holder> expected;
  };
  const Case cases[] = {
      {"nobody holds it", {{100, "/dev/ttyUSB1"}, {101, "/dev/null"}}, {}},
      {"one holder", {{100, "/dev/ttyUSB1"}, {1234, "/dev/ttyUSB0"}}, {{1234, "minicom"}}},
      {"two holders, by pid", {{900, "/dev/ttyUSB0"}, {12, "/dev/ttyUSB0"}}, {{12, "minicom"}, {900, "minicom"}}},
      {"another name of the file is not it", {{100, "/dev/serial/by-id/usb-FTDI_X-if00-port0"}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    ASSERT_TRUE(system.ready());
    for (const auto& [pid, file] : c.processes) system.addProcess(pid, "minicom", {{3, file}});
    system.addProcess(555, "bash");  // no files open at all
    const HolderScan scan = processesHolding("/dev/ttyUSB0", system.path("proc"));
    EXPECT_EQ(scan.holders, c.expected);
    EXPECT_EQ(scan.unreadable, 0);
  }
}

// The simulated logger holds its pseudo-terminal's master and keeps the
// slave open as well: it serves the port and is no competitor for it. A
// master of another pty, or the slave alone, is no sign of serving this one.
TEST(ProcessTable, TheHolderOfAPseudoTerminalsMasterServesIt) {
  const std::string ptmxInfo = "pos:\t0\nflags:\t02100002\nmnt_id:\t23\nino:\t89\ntty-index:\t";
  struct Case {
    const char* name;
    std::string master;       // the file descriptor 4 of pid 200 shows, besides the slave on 3
    std::string masterIndex;  // its fdinfo's tty-index
    std::vector<Holder> holders;
    std::vector<Holder> servers;
  };
  const Case cases[] = {
      {"the master of this pty", "/dev/ptmx", "7", {}, {{200, "zorvik-logger-s"}}},
      {"the master through the devpts instance's own ptmx", "/dev/pts/ptmx", "7", {}, {{200, "zorvik-logger-s"}}},
      {"the master of another pty", "/dev/ptmx", "17", {{200, "zorvik-logger-s"}}, {}},
      {"a ptmx whose fdinfo names no pty", "/dev/ptmx", "", {{200, "zorvik-logger-s"}}, {}},
      {"no master at all", "/dev/null", "7", {{200, "zorvik-logger-s"}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    ASSERT_TRUE(system.ready());
    system.addProcess(200, "zorvik-logger-s", {{3, "/dev/pts/7"}, {4, c.master}});
    system.addFdInfo(200, 4, c.masterIndex.empty() ? "pos:\t0\nflags:\t02\n" : ptmxInfo + c.masterIndex + "\n");
    // A program that only has the master open is not on the port at all.
    system.addProcess(300, "screen", {{5, "/dev/ptmx"}});
    system.addFdInfo(300, 5, ptmxInfo + "7\n");
    const HolderScan scan = processesHolding("/dev/pts/7", system.path("proc"));
    EXPECT_EQ(scan.holders, c.holders);
    EXPECT_EQ(scan.servers, c.servers);
  }
}

TEST(ProcessTable, AProcessRunsWhenOneHasItsName) {
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  system.addProcess(300, "ModemManager");
  EXPECT_TRUE(processRunning("ModemManager", system.path("proc")));
  EXPECT_FALSE(processRunning("brltty", system.path("proc")));
  EXPECT_FALSE(processRunning("Modem", system.path("proc")));
}

TEST(ProcessStatLine, GivesStateAndStartTimeCountedFromTheLastParenthesis) {
  // 52 fields as Linux writes them; field 22 (start time) is 987654.
  const std::string tail =
      " 1 1 1 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 1 0 987654 1000000 200 18446744073709551615 1 1 0 0 0 0 0 0 0 0 "
      "0 0 17 1 0 0 0 0 0 0 0 0 0 0 0 0 0";
  struct Case {
    const char* name;
    std::string line;
    std::optional<ProcessStat> expected;
  };
  const Case cases[] = {
      {"a plain name", "4321 (sleep) S" + tail, ProcessStat{'S', "987654"}},
      {"blanks and parentheses in the name", "4321 (a) b (c)) R" + tail, ProcessStat{'R', "987654"}},
      {"a zombie", "4321 (sleep) Z" + tail, ProcessStat{'Z', "987654"}},
      {"cut short before the start time", "4321 (sleep) S 1 1 1 0", std::nullopt},
      {"no name at all", "4321 sleep S" + tail, std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseProcessStat(c.line), c.expected) << c.name;
}

TEST(ProcessLives, ThisProcessLivesUnderItsOwnTokenOnly) {
  const std::int64_t self = ::getpid();
  const std::string token = processToken(self);
  ASSERT_FALSE(token.empty());
  EXPECT_NE(token.find('/'), std::string::npos) << token;
  EXPECT_TRUE(processLives(self, token));
  EXPECT_TRUE(processLives(self, ""));
  EXPECT_FALSE(processLives(self, token + "0")) << "a later process given the same pid";
  EXPECT_FALSE(processLives(0, "")) << "pid 0 would ask about the process group";
  EXPECT_FALSE(processLives(-1, ""));
}

TEST(ProcessLives, AnEndedChildIsDeadBeforeAndAfterItIsCollected) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  // Until waited for, the child is a zombie: kill() still finds it.
  for (int i = 0; i < 200 && processLives(child, ""); ++i) ::usleep(10'000);
  EXPECT_FALSE(processLives(child, ""));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_FALSE(processLives(child, ""));
  EXPECT_EQ(processToken(child), "");
}

}  // namespace
}  // namespace zorvik::ports
