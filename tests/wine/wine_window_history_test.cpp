// The Windows window keeps the update history as the Qt window does: each
// update leaves its row, front end "window", at the user's default place
// (%LOCALAPPDATA%\zorvik-updater\history.sqlite), which the Linux store reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "history/history_support.h"
#include "history/sqlite_history.h"
#include "images/catalogue.h"
#include "images/sending_order.h"
#include "tests/wine/window_fixture.h"

namespace zorvik::wine {
namespace {

namespace fs = std::filesystem;

// The file with the journal files SQLite keeps beside it: a journal left
// over from another file must not meet a new one of the same name.
void removeHistory(const fs::path& file) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(file.string() + suffix);
}

TEST_F(WineWindow, AnUpdateLeavesAFinishedWindowRowInTheHistory) {
  startLogger();
  if (IsSkipped()) return;
  const std::string appData = localAppData();
  ASSERT_FALSE(appData.empty());
  const fs::path file = fs::path(unixPath(appData)) / "zorvik-updater" / "history.sqlite";
  removeHistory(file);  // the rows of the prefix's earlier updates

  const Transcript t = pilot({"launch", kClickUpdate, "dialog 10 Confirm", "answer Confirm Yes",
                              "dialog 120 Information", "answer Information OK", "close", "wait-exit 20"});
  ASSERT_TRUE(t.completed()) << t.raw;
  const std::string success = "Update ZorvikB V6.26 succesfully completed.";
  EXPECT_EQ(t.first("dialog Information"), success);

  ASSERT_TRUE(fs::exists(file)) << "no history at " << file;
  history::SqliteHistory store(file.string());
  const auto rows = store.rows();
  ASSERT_EQ(rows.size(), 1u);
  const history::UpdateRow& row = rows[0];
  EXPECT_EQ(row.state, history::RowState::Finished);
  EXPECT_EQ(row.start.frontEnd, "window");
  EXPECT_EQ(row.start.port, "COM5");
  ASSERT_TRUE(row.end.has_value());
  EXPECT_EQ(row.serialNumber, sim::LoggerConfig{}.serialNumber);
  EXPECT_EQ(row.end->resultCode, 0);
  EXPECT_EQ(row.end->resultText, success);
  EXPECT_EQ(row.end->repeats, 0);
  EXPECT_EQ(row.end->imageSha256, history::imageDigest(images::sendingOrder(images::ImageSource{}, 12)));
}

}  // namespace
}  // namespace zorvik::wine
