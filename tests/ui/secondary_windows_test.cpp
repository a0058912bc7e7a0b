// The report window, the message window and the firmware overview dialog:
// content, line format and placement relative to the main window.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <ctime>

#include "engine/event_texts.h"
#include "tests/ui/ui_fixture.h"
#include "ui/firmware_overview.h"
#include "ui/message_window.h"
#include "ui/report_window.h"

namespace zorvik::testing {
namespace {

class SecondaryWindowsTest : public UiTest {
 protected:
  QString writeHeader(const QString& bootloader, int versionL) {
    const QString path = files.filePath(QString("header-%1-%2.txt").arg(bootloader).arg(versionL));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QString("bootloader=%1\nbootloader version=4\nclass=26113\nversionH=7\nversionL=%2\n"
                       "platform=24\nprint=53\ndate=01.02.2026 03:04:05\n:00000001FF\n")
                   .arg(bootloader)
                   .arg(versionL)
                   .toLatin1());
    return path;
  }
  QTemporaryDir files;
};

TEST(ReportLineTest, TimeStampedAsHoursMinutesSeconds) {
  std::tm at{};
  at.tm_hour = 9;
  at.tm_min = 5;
  at.tm_sec = 7;
  EXPECT_EQ(engine::reportLine(at, "Process cancelled!"), "09-05-07 -> Process cancelled!");
}

TEST_F(SecondaryWindowsTest, ReportCollectsStampedLinesOldestFirst) {
  open();
  ui::ReportWindow* report = window->reportWindow();
  report->add("Process cancelled!");
  report->add("Progress 5%");
  const QStringList lines = report->lines();
  ASSERT_EQ(lines.size(), 2);
  const QRegularExpression form("^([01]\\d|2[0-3])-[0-5]\\d-[0-5]\\d -> Process cancelled!$");
  EXPECT_TRUE(form.match(lines[0]).hasMatch()) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith(" -> Progress 5%"));
  EXPECT_FALSE(report->isVisible()) << "normal mode: collected, not shown";
  report->clear();
  EXPECT_TRUE(report->lines().isEmpty());
}

TEST_F(SecondaryWindowsTest, MessageWindowPlacedFromMainWindowGeometry) {
  open();
  ui::MessageWindow* message = window->messageWindow();
  const QString text = "Long texts wrap inside the message window instead of running out of it on the right side.";
  message->showMessage(text, session::MessageIcon::Information, 100, 200, 371, 234);  // the pilot presses OK
  ASSERT_EQ(pilot->messages.size(), 1u);
  const QRect frame = pilot->messages[0].frame;
  EXPECT_EQ(pilot->messages[0].text, text);
  EXPECT_EQ(frame.left(), 110);
  EXPECT_EQ(frame.width(), 351);
  EXPECT_EQ(frame.top(), 200 + 234 - frame.height() - 10);
  EXPECT_EQ(message->height(), 101) << "its height stays as designed";
  EXPECT_EQ(message->windowTitle(), "Information");
}

// A cause and fix under the text need more room: the window grows upwards,
// its bottom edge staying 10 pixels above the main window's, and shows all.
TEST_F(SecondaryWindowsTest, MessageWindowGrowsUpwardsForALongText) {
  open();
  ui::MessageWindow* message = window->messageWindow();
  const QString text =
      "Aborted because serial port \"/dev/ttyUSB0\" is not ready!\n\nCause: another program holds the port\n"
      "Fix: close the program that uses it (a terminal program, another updater) and try again";
  message->showMessage(text, session::MessageIcon::Warning, 100, 200, 371, 234);
  ASSERT_EQ(pilot->messages.size(), 1u);
  const SeenMessage& seen = pilot->messages[0];
  EXPECT_EQ(seen.frame.top(), 200 + 234 - seen.frame.height() - 10);
  EXPECT_EQ(seen.frame.width(), 351);
  EXPECT_TRUE(seen.warning);
  const auto* label = message->findChild<QLabel*>(roles::kMessageText);
  ASSERT_NE(label, nullptr);
  EXPECT_GE(seen.textArea.height(), label->heightForWidth(seen.textArea.width())) << "no line of the text is cut off";
  EXPECT_LE(seen.textArea.bottom(), seen.okButton.top());
}

// However long the last line, the report shows it from its start, time
// stamp first: the window opens scrolled to the left.
TEST_F(SecondaryWindowsTest, ReportOpensScrolledToTheLeft) {
  setInternalSetting("7406");
  open();
  ui::ReportWindow* report = window->reportWindow();
  ASSERT_TRUE(waitFor([&] { return report->isVisible(); }, 2000));
  report->add("Aborted because serial port \"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZP2G-if00-port0\" is "
              "not ready! and so on, a line much wider than the window");
  QTest::qWait(20);
  auto* view = report->findChild<QPlainTextEdit*>(roles::kReportView);
  ASSERT_NE(view, nullptr);
  ASSERT_GT(view->horizontalScrollBar()->maximum(), 0) << "the line is wider than the window";
  EXPECT_EQ(view->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum()) << "the last line in view";
}

TEST_F(SecondaryWindowsTest, ReportWindowDocksUnderTheMainWindowAndFollowsIt) {
  setInternalSetting("7406");
  open();
  ui::ReportWindow* report = window->reportWindow();
  ASSERT_TRUE(waitFor([&] { return report->isVisible(); }, 2000));
  EXPECT_EQ(report->windowTitle(), "Report");
  auto docked = [&] {
    const QRect main = window->frameGeometry();
    return report->frameGeometry().topLeft() == QPoint(main.left(), main.top() + main.height());
  };
  EXPECT_TRUE(docked());
  EXPECT_EQ(report->frameGeometry().width(), window->frameGeometry().width());

  const QSize size = report->size();
  window->move(window->x() + 40, window->y() + 25);
  EXPECT_TRUE(waitFor(docked, 2000)) << "the report follows the main window";
  EXPECT_EQ(report->size(), size) << "its size is left alone";

  const QPoint mainAt = window->pos();
  report->move(report->x() + 60, report->y() + 30);
  QTest::qWait(50);
  EXPECT_EQ(window->pos(), mainAt) << "moving the report alone does not move the main window";
  EXPECT_FALSE(docked());
}

// The built-in images as the overview lists them, newest first.
const QStringList kBuiltInRows[] = {
    {"ZorvikB", "6.26", "F5335 B", "A9g", "24.04.2025 16:11:52", "3.0"},
    {"ZorvikB", "6.20", "F5335 B", "A9f", "21.09.2023 16:20:06", "3.0"},
    {"ZorvikB", "5.180", "F5335", "A9f", "07.02.2023 10:48:10", "3.0"},
    {"ZorvikB", "5.180", "F5328 A", "A9e", "07.02.2023 10:47:42", "3.0"},
    {"ZorvikB", "5.136", "F5328 A", "A9d", "06.07.2020 13:03:08", "3.0"},
    {"ZorvikB", "5.134", "F5328 A", "A9d", "12.08.2020 08:01:44", "3.0"},
    {"ZorvikB", "5.126", "F5328 A", "A9b", "12.04.2019 08:56:26", "3.0"},
    {"ZorvikB", "5.42", "F1611 B", "A6/A7/A8", "16.11.2012 13:15:56", "2.1"},
    {"ZorvikB", "5.18", "F1611 B", "A5", "03.02.2011 19:30:56", "2.0"},
    {"ZorvikB", "5.08", "F1612 B", "A2", "27.01.2010 10:04:04", "2.0"},
    {"ZorvikB", "4.08", "F1612 B", "A1", "26.06.2009 14:37:42", "2.0"},
    {"ZorvikB", "3.20", "F1612 A", "A0", "18.06.2009 16:27:52", "2.0"},
};

// The header writeHeader("3", 5) as the overview lists it.
const QStringList kFileRow = {"ZorvikB", "7.05", "F5335 B", "A9g", "01.02.2026 03:04:05", "3.4"};

TEST_F(SecondaryWindowsTest, OverviewListsBuiltInImagesNewestFirst) {
  open();
  window->findChild<QAction*>(roles::kFirmwareAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 1u);
  const SeenOverview& seen = pilot->overviews[0];
  EXPECT_EQ(seen.headers, (QStringList{"Firmware", "Version", "Platform", "Print", "Date", "BL"}));
  ASSERT_EQ(seen.rows.size(), 12u);
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(seen.rows[i], kBuiltInRows[i]) << "row " << i;

  int sum = 0;
  const QFontMetrics metrics(window->overview()->list()->font());
  for (std::size_t c = 0; c < seen.columnWidths.size(); ++c) {
    sum += seen.columnWidths[c];
    int widest = metrics.horizontalAdvance(seen.headers[static_cast<int>(c)]);
    for (const QStringList& row : seen.rows) widest = std::max(widest, metrics.horizontalAdvance(row[static_cast<int>(c)]));
    EXPECT_GE(seen.columnWidths[c], widest + 5) << "column " << c << " shows its widest text";
  }
  EXPECT_EQ(seen.clientWidth, sum + 30);
  EXPECT_GE(seen.viewportWidth, sum) << "every column fits without scrolling sideways";
  const QRect main = window->frameGeometry();
  EXPECT_EQ(seen.frame.topLeft(), main.topLeft());
  EXPECT_EQ(seen.frame.height(), main.height());
  EXPECT_TRUE(seen.okHasFocus);
}

TEST_F(SecondaryWindowsTest, FileVersionPutsTheFileHeaderOnTop) {
  setInternalSetting("7406");
  open({"f:+"});
  pilot->files = {writeHeader("3", 5)};
  window->findChild<QAction*>(roles::kFileVersionAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 1u);
  ASSERT_EQ(pilot->overviews[0].rows.size(), 13u);
  EXPECT_EQ(pilot->overviews[0].rows[0], kFileRow);
  EXPECT_EQ(pilot->overviews[0].rows[1], kBuiltInRows[0]);

  window->findChild<QAction*>(roles::kFirmwareAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 2u);
  ASSERT_EQ(pilot->overviews[1].rows.size(), 13u) << "the file stays on top until the next run";
  EXPECT_EQ(pilot->overviews[1].rows[0], kFileRow);

  // A first line that names no known bootloader generation.
  pilot->files = {writeHeader("4", 126)};
  window->findChild<QAction*>(roles::kFileVersionAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 3u);
  EXPECT_EQ(pilot->overviews[2].rows[0][1], "7.126");
  EXPECT_EQ(pilot->overviews[2].rows[0][5], "65535.4");
}

// "File version" only shows a file: "Update" afterwards still offers the
// logger the built-in images, and the overview drops the file with that run.
class FileVersionThenUpdateTest : public SecondaryWindowsTest {
 protected:
  // File version of a file whose header fits the simulated logger, then
  // "Update" with "Read info only" ticked: the run names every image it
  // considers and stops before it writes anything.
  void readFileVersionThenUpdate() {
    startLogger();
    setInternalSetting("7406");
    open({"f:+"});
    pilot->files = {writeHeader("3", 5)};
    window->findChild<QAction*>(roles::kFileVersionAction)->trigger();
    ASSERT_EQ(pilot->overviews.size(), 1u);
    ASSERT_EQ(pilot->overviews[0].rows.size(), 13u);

    child<QComboBox>(roles::kPortBox)->setEditText(port());
    child<QCheckBox>(roles::kReadInfoOnlyBox)->setChecked(true);
    click(roles::kUpdateButton);
    ASSERT_TRUE(waitForIdle(60000));
    ASSERT_EQ(pilot->messages.size(), 1u);
    ASSERT_EQ(pilot->messages[0].text, "Only read update info!");
  }
};

TEST_F(FileVersionThenUpdateTest, UpdateOffersTheBuiltInImagesOnly) {
  readFileVersionThenUpdate();
  if (HasFatalFailure() || IsSkipped()) return;
  const QStringList report = reportTexts();
  EXPECT_TRUE(report.contains("Check ZorvikB V6.26, A9g, BL3.0")) << report;
  for (const QString& line : report) EXPECT_FALSE(line.contains("V7.05")) << "only the header is read: " << line;
  EXPECT_TRUE(logger->flashWrites().empty());
}

TEST_F(FileVersionThenUpdateTest, TheNextRunTakesTheFileOffTheOverview) {
  readFileVersionThenUpdate();
  if (HasFatalFailure() || IsSkipped()) return;
  window->findChild<QAction*>(roles::kFirmwareAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 2u);
  ASSERT_FALSE(pilot->overviews[1].rows.empty());
  EXPECT_EQ(pilot->overviews[1].rows.size(), 12u) << "the run sent no file, so the overview names none";
  EXPECT_EQ(pilot->overviews[1].rows[0], kBuiltInRows[0]);
}

TEST_F(SecondaryWindowsTest, FileVersionCancelledOrBrokenShowsNoOverview) {
  setInternalSetting("7406");
  open({"f:+"});
  window->findChild<QAction*>(roles::kFileVersionAction)->trigger();  // the pilot cancels the dialog
  EXPECT_EQ(pilot->fileDialogs, 1);
  EXPECT_TRUE(pilot->overviews.empty());
  EXPECT_TRUE(pilot->messages.empty());
  window->findChild<QAction*>(roles::kFirmwareAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 1u);
  EXPECT_EQ(pilot->overviews[0].rows.size(), 12u) << "a cancelled dialog puts no file on top";

  const QString path = files.filePath("broken.txt");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("bootloader=3\nbootloader version=1\nclass=x\n");
  file.close();
  pilot->files = {path};
  window->findChild<QAction*>(roles::kFileVersionAction)->trigger();
  EXPECT_EQ(pilot->overviews.size(), 1u) << "no overview after a broken header";
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, QString("Aborted because image file \"%1\" has no valid image header!").arg(path));
  EXPECT_FALSE(window->running());
  window->findChild<QAction*>(roles::kFirmwareAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 2u);
  EXPECT_EQ(pilot->overviews[1].rows.size(), 12u) << "a broken header puts no file on top";
}

// The window reads a header into a copy and keeps it only when the whole
// header was good: a broken file after a good one leaves the good one shown,
// with none of the broken file's fields mixed into it.
TEST_F(SecondaryWindowsTest, BrokenFileVersionKeepsThePreviousGoodHeader) {
  setInternalSetting("7406");
  open({"f:+"});
  pilot->files = {writeHeader("3", 5)};
  window->findChild<QAction*>(roles::kFileVersionAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 1u);
  ASSERT_FALSE(pilot->overviews[0].rows.empty());
  ASSERT_EQ(pilot->overviews[0].rows[0], kFileRow);

  // Bootloader version 1 is read before the bad class line.
  const QString path = files.filePath("broken.txt");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("bootloader=2\nbootloader version=1\nclass=x\n");
  file.close();
  pilot->files = {path};
  window->findChild<QAction*>(roles::kFileVersionAction)->trigger();
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->overviews.size(), 1u);

  window->findChild<QAction*>(roles::kFirmwareAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 2u);
  ASSERT_EQ(pilot->overviews[1].rows.size(), 13u);
  EXPECT_EQ(pilot->overviews[1].rows[0], kFileRow) << "the good header, untouched by the broken file";
}

}  // namespace
}  // namespace zorvik::testing
