// "Write trace" in service mode: a new trace file for each update the user
// asked to have recorded, shared by all its runs, named in the report; no
// update at all when the record cannot be written.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>

#include "link/file_trace.h"
#include "tests/ui/ui_fixture.h"

namespace zorvik::testing {
namespace {

using sim::FaultKind;
using sim::Request;

constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";

class LineTraceOptionTest : public UiTest {
 protected:
  void openInServiceMode() {
    setInternalSetting("7406");
    open();
    child<QComboBox>(roles::kPortBox)->setEditText(port());
  }

  QString traceFolder() const { return QFile::decodeName(traceDirectory.string().c_str()); }

  QStringList traceFiles() const {
    QStringList paths;
    const QDir folder(traceFolder());
    for (const QString& name : folder.entryList(QDir::Files)) paths << folder.filePath(name);
    return paths;
  }

  static int linesMatching(const QStringList& lines, const QString& pattern) {
    const QRegularExpression form(pattern);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                           [&](const QString& line) { return form.match(line).hasMatch(); }));
  }
};

TEST_F(LineTraceOptionTest, AllRunsOfTheUpdateGoIntoOneNewFileNamedInTheReport) {
  startLogger();
  // One changed echo: the update repeats at once and then succeeds.
  logger->injectFault({FaultKind::AlteredEcho, Request::DataLine, 10, 1});
  openInServiceMode();
  click(roles::kTraceBox);
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitForIdle(60000));
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, kSuccess);

  const QStringList files = traceFiles();
  ASSERT_EQ(files.size(), 1) << files;
  const QString portTail = QFileInfo(port()).fileName();
  EXPECT_TRUE(QRegularExpression("^trace-\\d{8}-\\d{6}-" + portTail + "\\.txt$")
                  .match(QFileInfo(files[0]).fileName())
                  .hasMatch())
      << files[0];
  const QStringList report = reportTexts();
  ASSERT_GE(report.size(), 2);
  EXPECT_EQ(report[0], "Trace: " + files[0]);
  EXPECT_EQ(report[1], QString("Start at serial port \"%1\"").arg(port()));
  EXPECT_TRUE(report.contains("Repeat because programming error!")) << "the update did repeat";

  QFile file(files[0]);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines[0], link::kTraceHeader);
  const QString escapedPort = QRegularExpression::escape(port());
  EXPECT_EQ(linesMatching(lines, "^\\d+ # open " + escapedPort + "$"), 2) << "both runs";
  EXPECT_GT(linesMatching(lines, "^\\d+ > [0-9A-F]{2}( [0-9A-F]{2})*$"), 0);
  EXPECT_GT(linesMatching(lines, "^\\d+ < [0-9A-F]{2}( [0-9A-F]{2})*$"), 0);
  EXPECT_EQ(linesMatching(lines, "^\\d+ # event 0 "), 1) << "the success, once";
}

TEST_F(LineTraceOptionTest, NoTraceUnlessAsked) {
  startLogger();
  openInServiceMode();
  click(roles::kReadInfoOnlyBox);
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitForIdle());
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Only read update info!");
  EXPECT_FALSE(QFileInfo::exists(traceFolder())) << "not even the folder was made";
  for (const QString& line : reportTexts()) EXPECT_FALSE(line.startsWith("Trace:")) << line;
}

TEST_F(LineTraceOptionTest, TraceThatCannotBeWrittenStartsNoUpdate) {
  startLogger();
  // A folder below a plain file cannot be made, not even by root.
  QFile blocker(scratch.filePath("plain-file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  traceDirectory = QFile::encodeName(scratch.filePath("plain-file/traces")).toStdString();
  openInServiceMode();
  click(roles::kTraceBox);
  click(roles::kUpdateButton);

  EXPECT_FALSE(window->running());
  ASSERT_EQ(pilot->messages.size(), 1u);
  const QString text = pilot->messages[0].text;
  EXPECT_TRUE(text.startsWith("Cannot write the trace: cannot create the folder " + traceFolder() + ": ")) << text;
  EXPECT_EQ(reportTexts(), QStringList{text}) << "no run was started";
  EXPECT_EQ(window->statusText(), text);
  EXPECT_EQ(logger->bytesReceived(), 0u) << "nothing was sent";
  EXPECT_TRUE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
}

}  // namespace
}  // namespace zorvik::testing
