// The update history as the window keeps it: each update through the window
// writes its row, "Info" -> "History" lists the rows newest first, and a
// history that cannot be opened is reported once per update while the
// update goes on.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>

#include "history/history_listing.h"
#include "history/sqlite_history.h"
#include "sim/logger_for_image.h"
#include "tests/ui/ui_fixture.h"
#include "ui/report_window.h"

namespace zorvik::testing {
namespace {

constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";

class HistoryTest : public UiTest {
 protected:
  // One update of the logger on `port` through the window, confirmed.
  void updateThroughWindow(const std::string& port) {
    child<QComboBox>(roles::kPortBox)->setEditText(QString::fromStdString(port));
    pilot->answers = {"Yes"};
    click(roles::kUpdateButton);
    EXPECT_FALSE(child<QAction>(roles::kStationAction)->isEnabled()) << "no station beside an update of the window's own";
    ASSERT_TRUE(waitForIdle(60000));
    EXPECT_TRUE(child<QAction>(roles::kStationAction)->isEnabled());
  }

  std::unique_ptr<sim::SimulatedLogger> loggerWith(std::uint32_t serial) {
    sim::LoggerConfig config = sim::loggerFor(12);
    config.serialNumber = serial;
    auto l = std::make_unique<sim::SimulatedLogger>(config);
    if (!l->start()) ADD_FAILURE() << "no pseudo-terminal";
    return l;
  }
};

QStringList headings() {
  QStringList texts;
  for (const std::string& h : history::tableHeadings()) texts << QString::fromStdString(h);
  return texts;
}

TEST_F(HistoryTest, EachUpdateThroughTheWindowWritesARowAndHistoryListsThemNewestFirst) {
  open();
  auto first = loggerWith(100201);
  updateThroughWindow(first->devicePath());
  auto second = loggerWith(100202);
  updateThroughWindow(second->devicePath());
  ASSERT_EQ(pilot->messages.size(), 2u);
  EXPECT_EQ(pilot->messages[1].text, kSuccess);

  history::SqliteHistory store(QFile::encodeName(historyFile()).toStdString());
  const auto rows = store.rows();
  ASSERT_EQ(rows.size(), 2u);
  const std::string ports[] = {second->devicePath(), first->devicePath()};
  const std::uint32_t serials[] = {100202, 100201};
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].start.frontEnd, "window");
    EXPECT_EQ(rows[i].start.port, ports[i]);
    EXPECT_EQ(rows[i].state, history::RowState::Finished);
    ASSERT_TRUE(rows[i].end.has_value());
    EXPECT_EQ(rows[i].serialNumber, serials[i]);
    EXPECT_EQ(rows[i].end->resultCode, 0);
    EXPECT_EQ(rows[i].end->resultText, kSuccess);
    EXPECT_EQ(rows[i].end->imageSha256.size(), 64u);
  }

  window->findChild<QAction*>(roles::kHistoryAction)->trigger();
  ASSERT_EQ(pilot->histories.size(), 1u);
  const SeenHistory& seen = pilot->histories[0];
  EXPECT_EQ(seen.headings, headings());
  EXPECT_EQ(seen.problem, "");
  ASSERT_EQ(seen.rows.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    QStringList expected;
    for (const std::string& cell : history::tableCells(rows[i])) expected << QString::fromStdString(cell);
    EXPECT_EQ(seen.rows[i], expected) << "row " << i;
  }
  EXPECT_EQ(seen.rows[0][2], "100202") << "newest first";
  EXPECT_EQ(seen.rows[0][4], "PASS");
}

TEST_F(HistoryTest, AHistoryThatCannotBeOpenedIsReportedOncePerUpdateAndTheUpdateGoesOn) {
  // Its folder is a file: nothing can be made there.
  const QString blocker = scratch.filePath("not-a-folder");
  QFile file(blocker);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  open({}, {}, blocker + "/history.sqlite");
  startLogger(sim::loggerFor(12));
  const auto problemLines = [this] {
    return reportTexts().filter("The update history cannot be kept").size();
  };
  updateThroughWindow(logger->devicePath());
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, kSuccess) << "the update went on";
  EXPECT_EQ(problemLines(), 1) << reportTexts();
  const QString line = reportTexts().filter("The update history cannot be kept").value(0);
  EXPECT_TRUE(line.endsWith("; the update goes on.")) << line;
  EXPECT_TRUE(line.contains(blocker)) << "names the file: " << line;
  EXPECT_EQ(logger->restarts(), 1);

  updateThroughWindow(logger->devicePath());
  EXPECT_EQ(problemLines(), 1) << "the report is cleared for each update; said once in it";
  EXPECT_EQ(logger->restarts(), 2);

  window->findChild<QAction*>(roles::kHistoryAction)->trigger();
  ASSERT_EQ(pilot->histories.size(), 1u);
  EXPECT_TRUE(pilot->histories[0].problem.startsWith("The update history cannot be read")) << pilot->histories[0].problem;
  EXPECT_TRUE(pilot->histories[0].rows.empty());
}

}  // namespace
}  // namespace zorvik::testing
