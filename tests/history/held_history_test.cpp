// A history file another program holds (a second station writing, someone
// browsing it with sqlite3 in a transaction) when an update ends: the update
// is not held up by it, its end is kept and written once the file is free,
// and its row ends "finished" rather than "interrupted".
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "engine/run_request.h"
#include "history/history_recorder.h"
#include "history/sqlite_history.h"
#include "session/update_recorder.h"
#include "tests/history/history_fixture.h"

namespace zorvik::history::testing {
namespace {

using namespace std::chrono_literals;

session::UpdateEnding passed(std::uint32_t serial) {
  session::UpdateEnding ending;
  ending.summary.serialNumber = serial;
  ending.summary.updateClass = 0x6601;
  ending.summary.applicationVersion = 0x0614;
  ending.summary.imageSent = true;
  ending.finalText = "Update ZorvikB V6.26 succesfully completed.";
  ending.duration = 1234ms;
  return ending;
}

class HeldHistory : public TempFolder {
 protected:
  engine::RunRequest request() const {
    engine::RunRequest r;
    r.port = "/dev/ttyUSB0";
    return r;
  }
  RowState stateOfOnlyRow() {
    const auto rows = SqliteHistory(file()).rows();
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? RowState::Unknown : rows.front().state;
  }
};

TEST_F(HeldHistory, TheEndOfAnUpdateWaitsInMemoryUntilTheFileIsFree) {
  const HistoryRecorders recorders(file(), "cli", "ana", 20ms, 0ms);
  const auto recorder = recorders.make();
  ASSERT_EQ(recorder->updateStarted(request()), std::nullopt);

  RawDatabase other(file());
  ASSERT_TRUE(other.execute("BEGIN EXCLUSIVE"));
  // Told while the other program still holds the file: it did not wait
  // for it to let go.
  const std::optional<std::string> said = recorder->updateEnded(request(), passed(100200));
  ASSERT_TRUE(said.has_value()) << "the user learns the record waits";
  EXPECT_NE(said->find("kept and written as soon as the file can be written"), std::string::npos) << *said;
  EXPECT_EQ(said->find("the update goes on"), std::string::npos) << "it has ended: " << *said;
  EXPECT_FALSE(recorders.waitUntilWritten(100ms)) << "written through another program's lock";
  EXPECT_TRUE(recorders.writeProblem().has_value());

  ASSERT_TRUE(other.execute("COMMIT"));
  ASSERT_TRUE(recorders.waitUntilWritten(10s)) << recorders.writeProblem().value_or("");
  EXPECT_EQ(recorders.writeProblem(), std::nullopt);
  const auto rows = SqliteHistory(file()).rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, RowState::Finished);
  EXPECT_EQ(rows[0].serialNumber, 100200u);
  ASSERT_TRUE(rows[0].end.has_value());
  EXPECT_EQ(rows[0].end->resultText, "Update ZorvikB V6.26 succesfully completed.");
  EXPECT_EQ(rows[0].end->imageSent, true);
}

// The serial number is in the row from the moment it was read, so that an
// update that never ends (killed, the machine off) still names its logger.
TEST_F(HeldHistory, TheSerialNumberIsWrittenAsSoonAsItIsRead) {
  const HistoryRecorders recorders(file(), "cli", "ana", 20ms, 0ms);
  const auto recorder = recorders.make();
  ASSERT_EQ(recorder->updateStarted(request()), std::nullopt);
  EXPECT_EQ(recorder->serialNumberRead(request(), 4000000001u), std::nullopt);
  ASSERT_TRUE(recorders.waitUntilWritten(10s));
  const auto rows = SqliteHistory(file()).rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, RowState::Running);
  EXPECT_EQ(rows[0].serialNumber, 4000000001u);
  EXPECT_EQ(rows[0].start.operatorName, "ana");
}

// A free file: nothing is said, and the row is complete when updateEnded
// returns (no reader of the history sees a half-ended update afterwards).
TEST_F(HeldHistory, AFreeFileIsWrittenAtOnce) {
  const HistoryRecorders recorders(file(), "cli", "", 20ms, 0ms);
  const auto recorder = recorders.make();
  ASSERT_EQ(recorder->updateStarted(request()), std::nullopt);
  EXPECT_EQ(recorder->updateEnded(request(), passed(7)), std::nullopt);
  EXPECT_EQ(stateOfOnlyRow(), RowState::Finished);
}

// A window that is only opened, or whose list is only looked at, makes no
// history file and no folder for it: the first update does.
TEST_F(HeldHistory, NothingIsMadeBeforeTheFirstUpdate) {
  const std::string path = (folder_ / "sub" / "history.sqlite").string();
  const HistoryRecorders recorders(path, "window", "", 20ms, 0ms);
  const auto recorder = recorders.make();
  EXPECT_TRUE(recorders.rows().empty());
  EXPECT_FALSE(fs::exists(folder_ / "sub"));
  ASSERT_EQ(recorder->updateStarted(request()), std::nullopt);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(recorders.rows().size(), 1u);
}

}  // namespace
}  // namespace zorvik::history::testing
