// A process killed in the middle of its updates: the history file survives
// whole, what was finished stays, and what was open is first "running" (its
// process lives) and then "interrupted" (it is gone).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "history/history_support.h"
#include "history/sqlite_history.h"
#include "tests/history/history_fixture.h"

namespace zorvik::history::testing {
namespace {

using KilledWriterTest = TempFolder;

constexpr int kFinishedRows = 3;
constexpr int kOpenRows = 2;

// The child: writes its rows, says so through the pipe, then waits to be killed.
[[noreturn]] void childWritesThenWaits(const std::string& path, int ready) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test that failed halfway
  char outcome = 'E';
  try {
    SqliteHistory history(path);
    for (int i = 0; i < kFinishedRows + kOpenRows; ++i) {
      const std::int64_t id = history.updateStarted(sampleStart(i, ::getpid()));
      history.serialNumberRead(id, sampleSerial(i));  // read before the kill: the killed row keeps it
      if (i < kFinishedRows) history.updateEnded(id, sampleEnd(i));
    }
    outcome = 'R';
  } catch (...) {
  }
  if (::write(ready, &outcome, 1) != 1) ::_exit(2);
  for (;;) ::pause();
}

TEST_F(KilledWriterTest, KilledProcessLeavesIntactFileAndInterruptedRows) {
  const std::string path = file();
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeEnds[0]);
    childWritesThenWaits(path, pipeEnds[1]);
  }
  ::close(pipeEnds[1]);
  char outcome = 0;
  const bool told = ::read(pipeEnds[0], &outcome, 1) == 1;
  ::close(pipeEnds[0]);
  if (!told || outcome != 'R') {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    FAIL() << "the child could not write its rows";
  }

  const auto states = [&] {
    SqliteHistory history(path);
    std::vector<RowState> out;
    for (const UpdateRow& row : history.rows()) out.push_back(row.state);
    return out;
  };
  using S = RowState;
  // Newest first: the two open rows, then the three finished ones.
  EXPECT_EQ(states(), (std::vector<S>{S::Running, S::Running, S::Finished, S::Finished, S::Finished}));

  ASSERT_EQ(::kill(child, SIGKILL), 0);
  // Dead but not yet collected (a zombie): its pid still answers kill(0).
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
  EXPECT_EQ(states(), (std::vector<S>{S::Interrupted, S::Interrupted, S::Finished, S::Finished, S::Finished}));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  RawDatabase raw(path);
  EXPECT_EQ(raw.text("PRAGMA integrity_check"), "ok");
  SqliteHistory history(path);
  const std::vector<UpdateRow> rows = history.rows();
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kFinishedRows + kOpenRows));
  for (int i = 0; i < kFinishedRows + kOpenRows; ++i) {
    SCOPED_TRACE(i);
    const UpdateRow& row = rows[static_cast<std::size_t>(kFinishedRows + kOpenRows - 1 - i)];
    EXPECT_EQ(row.start, sampleStart(i, child));
    EXPECT_EQ(row.serialNumber, sampleSerial(i));
    if (i < kFinishedRows) {
      EXPECT_EQ(row.state, RowState::Finished);
      EXPECT_EQ(row.end, sampleEnd(i));
    } else {
      EXPECT_EQ(row.state, RowState::Interrupted);
      EXPECT_FALSE(row.end.has_value());
    }
  }
}

}  // namespace
}  // namespace zorvik::history::testing
