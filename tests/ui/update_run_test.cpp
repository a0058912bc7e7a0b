// Runs through the window: clicks, the real update thread, the simulated
// logger behind a pseudo-terminal, and what the user sees of every outcome.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "engine/event_texts.h"
#include "images/catalogue.h"
#include "link/serial_port.h"
#include "tests/ui/ui_fixture.h"
#include "ui/report_window.h"

namespace zorvik::testing {
namespace {

using sim::FaultKind;
using sim::Request;

constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";

// How an image file made of built-in image 12 differs from it.
struct Image12 {
  int damagedLine = -1;  // record line whose checksum no longer fits; -1: none
  bool endLine = true;   // false: the end record is left off
  int versionLow = -1;   // the header's versionL; -1: image 12's own
};

// What the controls showed while a run was under way.
struct RunningSnapshot {
  bool taken = false;
  bool prog, file, fileVersion, closeShown, cancelShown, port, hourglass;
};

class UpdateRunTest : public UiTest {
 protected:
  void watchTitles() {
    QObject::connect(window.get(), &QWidget::windowTitleChanged, window.get(),
                     [this](const QString& title) { titles << title; });
  }

  // Once the run has started (after the question, in normal mode): the
  // running state as the user sees it.
  void takeSnapshot() {
    snapshot = {true,
                child<QPushButton>(roles::kUpdateButton)->isEnabled(),
                child<QPushButton>(roles::kFileButton)->isEnabled(),
                child<QAction>(roles::kFileVersionAction)->isEnabled(),
                child<QPushButton>(roles::kCloseButton)->isVisible(),
                child<QPushButton>(roles::kCancelButton)->isVisible(),
                child<QComboBox>(roles::kPortBox)->isEnabled(),
                QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor};
  }

  void setPort() { child<QComboBox>(roles::kPortBox)->setEditText(port()); }

  void openInServiceMode(const QStringList& switches = {}) {
    setInternalSetting("7406");
    open(switches);
    setPort();
  }

  // Built-in image 12 as an image file, changed as asked.
  QString writeImage12(const Image12& changes = {}) {
    const images::ImageHeader h = images::builtInHeader(12);
    QString text = QString("bootloader=%1\nbootloader version=%2\nclass=%3\nversionH=%4\nversionL=%5\n"
                           "platform=%6\nprint=%7\ndate=%8\n")
                       .arg(h.bootloader)
                       .arg(h.bootloaderVersion)
                       .arg(h.deviceClass)
                       .arg(h.versionHigh)
                       .arg(changes.versionLow >= 0 ? changes.versionLow : h.versionLow)
                       .arg(h.platform)
                       .arg(h.print)
                       .arg(QString::fromStdString(h.date));
    const images::ImageSource builtIn;
    const int last = builtIn.lastLine(12);
    for (int i = 0; i <= last; ++i) {
      if (i == last && !changes.endLine) break;
      std::string line(builtIn.line(12, i));
      if (i == changes.damagedLine) line.back() = line.back() == '0' ? '1' : '0';  // checksum no longer fits
      text += QString::fromStdString(line) + "\n";
    }
    const QString path = files.filePath("image.txt");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toLatin1());
    return path;
  }

  int identityQueries() const {
    const std::vector<Request> requests = logger->requests();
    return static_cast<int>(std::count(requests.begin(), requests.end(), Request::IdentityQuery));
  }

  QStringList titles;
  RunningSnapshot snapshot;
  QTemporaryDir files;
};

TEST_F(UpdateRunTest, FullUpdateFromClickToSuccessMessage) {
  startLogger();
  open();
  setPort();
  watchTitles();
  pilot->answers = {"Yes"};
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitFor([this] { return window->running(); }));
  takeSnapshot();
  ASSERT_TRUE(waitForIdle(60000));

  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, kSuccess);
  const QStringList report = reportTexts();
  ASSERT_FALSE(report.isEmpty());
  EXPECT_EQ(report.first(), QString("Start at serial port \"%1\"").arg(port()));
  EXPECT_EQ(report.last(), kSuccess);
  for (const char* line : {"Class 26113 [ZorvikB]", "Version 6.26", "Platform 24 [F5335 B]", "Print 53 [A9g]",
                           "Check ZorvikB V6.26, A9g, BL3.0", "Update ZorvikB V6.26, A9g, BL3.0",
                           "Vector table is saved.", "Vector table is programmed.", "Progress 1%", "Progress 50%", "Progress 98%"}) {
    EXPECT_TRUE(report.contains(line)) << line;
  }
  EXPECT_EQ(child<QProgressBar>(roles::kProgressBar)->value(), 100);
  EXPECT_EQ(window->windowTitle(), engine::kAppTitle);
  EXPECT_EQ(window->statusText(), kSuccess);
  EXPECT_TRUE(titles.contains("37%")) << "the title follows the progress";
  EXPECT_EQ(logger->restarts(), 1);
  EXPECT_EQ(logger->flashWrites().size(), 827u);

  ASSERT_TRUE(snapshot.taken);
  EXPECT_FALSE(snapshot.prog);
  EXPECT_FALSE(snapshot.closeShown);
  EXPECT_TRUE(snapshot.cancelShown);
  EXPECT_FALSE(snapshot.port);
  EXPECT_TRUE(snapshot.hourglass);
  // Idle again.
  EXPECT_TRUE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
  EXPECT_TRUE(child<QPushButton>(roles::kCloseButton)->isVisible());
  EXPECT_FALSE(child<QPushButton>(roles::kCancelButton)->isVisible());
  EXPECT_TRUE(child<QComboBox>(roles::kPortBox)->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(window->reportWindow()->isVisible()) << "normal mode: the report collects lines unseen";

  // The message window lies over the lower part of the main window.
  const SeenMessage& m = pilot->messages[0];
  EXPECT_EQ(m.frame.left(), m.mainFrame.left() + 10);
  EXPECT_EQ(m.frame.width(), m.mainFrame.width() - 20);
  EXPECT_EQ(m.frame.top(), m.mainFrame.top() + m.mainFrame.height() - m.frame.height() - 10);
  // A dialog as users know it: the information icon left of the text, "OK" at the right.
  EXPECT_TRUE(m.iconShown);
  EXPECT_FALSE(m.warning);
  EXPECT_LE(m.icon.right(), m.textArea.left());
  EXPECT_GT(m.okButton.center().x(), m.clientWidth / 2) << "OK stands at the right";
  EXPECT_LE(m.okButton.right(), m.clientWidth - 1);
}

TEST_F(UpdateRunTest, CancelEndsTheRunAndReturnsToIdle) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 100000});
  openInServiceMode();
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitFor([this] { return child<QPushButton>(roles::kCancelButton)->isVisible(); }));
  EXPECT_FALSE(child<QPushButton>(roles::kCloseButton)->isVisible()) << "Close cannot be used during a run";
  click(roles::kCancelButton);
  ASSERT_TRUE(waitForIdle());
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Process cancelled!");
  EXPECT_EQ(reportTexts().last(), "Process cancelled!");
  EXPECT_EQ(window->statusText(), "Process cancelled!");
  EXPECT_TRUE(child<QPushButton>(roles::kCloseButton)->isVisible());
  EXPECT_FALSE(child<QPushButton>(roles::kCancelButton)->isVisible());
  EXPECT_EQ(window->windowTitle(), engine::kAppTitle);
}

TEST_F(UpdateRunTest, NoAnswerRepeatsAfterPauseThatTakesNoInput) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 5});
  openInServiceMode();
  child<QCheckBox>(roles::kReadInfoOnlyBox)->setChecked(true);
  click(roles::kUpdateButton);

  const QString repeat = "Repeat update because communication error!";
  ASSERT_TRUE(waitFor([&] { return window->statusText() == repeat; }));
  QElapsedTimer pause;
  pause.start();
  EXPECT_TRUE(window->running()) << "no return to idle between the attempts";
  EXPECT_TRUE(child<QPushButton>(roles::kCancelButton)->isVisible());
  click(roles::kReadInfoOnlyBox);  // swallowed: the window takes no input during the pause
  ASSERT_TRUE(waitFor([&] { return reportTexts().count(QString("Start at serial port \"%1\"").arg(port())) == 2; }));
  EXPECT_GE(pause.elapsed(), 1400) << "the repeat waits its pause";
  ASSERT_TRUE(waitForIdle());

  const QStringList report = reportTexts();
  EXPECT_EQ(report.indexOf(repeat), 1);
  EXPECT_EQ(report.last(), "Only read update info!");
  EXPECT_TRUE(child<QCheckBox>(roles::kReadInfoOnlyBox)->isChecked());
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Only read update info!");
  EXPECT_TRUE(logger->flashWrites().empty());
}

// Cancel pressed while the failed run is ending: the last of the five
// attempts at the first identity query has passed its cancel test (the
// logger has received the query) and waits in vain for its answer. The run
// still ends with "no answer"; the repeat shares the update's cancel and
// stops at its first exchange, before it sends anything.
TEST_F(UpdateRunTest, CancelDuringFailingRunStopsTheRepeatAtOnce) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 100000});
  openInServiceMode();
  click(roles::kUpdateButton);
  // No event of the run is handled while this waits, so the window cannot
  // have begun the pause before the repeat (which takes no input): however
  // late the click comes, it comes before the run's end is handled.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (identityQueries() < 5 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(identityQueries(), 5) << "the last attempt never came";
  click(roles::kCancelButton);

  const QString repeat = "Repeat update because communication error!";
  ASSERT_TRUE(waitFor([&] { return window->statusText() == repeat; }));
  const std::size_t requestsBefore = logger->requests().size();
  ASSERT_TRUE(waitForIdle());

  const QStringList report = reportTexts();
  ASSERT_GE(report.size(), 3);
  EXPECT_EQ(report.mid(report.size() - 3),
            (QStringList{repeat, QString("Start at serial port \"%1\"").arg(port()), "Process cancelled!"}));
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Process cancelled!");
  EXPECT_EQ(logger->requests().size(), requestsBefore) << "the repeated run stopped before its first exchange";
  EXPECT_EQ(identityQueries(), 5);
}

// Cancel clicked while the window waits before the repeat: the one input
// the pause takes. The update ends after the pause, without the repeat.
TEST_F(UpdateRunTest, CancelDuringThePauseEndsTheUpdateWithoutTheRepeat) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 5});
  openInServiceMode();
  click(roles::kUpdateButton);
  const QString repeat = "Repeat update because communication error!";
  ASSERT_TRUE(waitFor([&] { return window->statusText() == repeat; }));
  const std::size_t requestsBefore = logger->requests().size();
  click(roles::kCancelButton);
  ASSERT_TRUE(waitForIdle());

  const QString start = QString("Start at serial port \"%1\"").arg(port());
  EXPECT_EQ(reportTexts(), (QStringList{start, repeat, "Process cancelled!"}));
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Process cancelled!");
  EXPECT_FALSE(pilot->messages[0].warning) << "a cancel is no fault to mend";
  EXPECT_EQ(window->statusText(), "Process cancelled!");
  EXPECT_EQ(logger->requests().size(), requestsBefore) << "no repeat reached the logger";
  EXPECT_TRUE(child<QPushButton>(roles::kCloseButton)->isVisible());
}

TEST_F(UpdateRunTest, EchoErrorRepeatsAtOnceAndSucceeds) {
  startLogger();
  logger->injectFault({FaultKind::AlteredEcho, Request::DataLine, 10, 1});
  openInServiceMode();
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitForIdle(60000));

  const QStringList report = reportTexts();
  const qsizetype repeat = report.indexOf("Repeat because programming error!");
  ASSERT_GT(repeat, 0);
  EXPECT_TRUE(report[repeat - 1].startsWith("Aborted because programming error at line ")) << report[repeat - 1];
  EXPECT_EQ(report[repeat + 1], QString("Start at serial port \"%1\"").arg(port()));
  EXPECT_EQ(report.last(), kSuccess);
  ASSERT_EQ(pilot->messages.size(), 1u) << "the echo error shows no message, the success does";
  EXPECT_EQ(pilot->messages[0].text, kSuccess);
}

// A file that cannot be sent whole is refused before anything starts: a
// damaged record would otherwise be met only after the logger had been
// switched to its bootloader and part of the image written. The user learns
// why, and no built-in image is sent in its place.
struct RefusedFileCase {
  const char* name;
  std::function<QString()> write;  // writes the file, gives its path
  QString why;
};

TEST_F(UpdateRunTest, FileThatCannotBeSentWholeStartsNoRun) {
  const int middle = images::ImageSource().lastLine(12) / 2;
  const RefusedFileCase cases[] = {
      {"no valid image header",
       [this] {
         const QString path = files.filePath("broken.txt");
         QFile file(path);
         EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
         file.write("bootloader=3\nbootloader version=zero\n:00000001FF\n");
         return path;
       },
       "has no valid image header"},
      {"damaged record in the middle", [this, middle] { return writeImage12({.damagedLine = middle}); },
       QString("has a damaged record in line %1").arg(middle)},
      {"no end record", [this] { return writeImage12({.endLine = false}); },
       "does not end with the end record :00000001FF"},
  };
  for (const RefusedFileCase& c : cases) {
    SCOPED_TRACE(c.name);
    startLogger();
    if (IsSkipped()) return;
    openInServiceMode({"f:+"});
    pilot->messages.clear();
    const QString path = c.write();
    pilot->files = {path};
    click(roles::kFileButton);

    const QString text = QString("Aborted because image file \"%1\" %2!").arg(path, c.why);
    EXPECT_FALSE(window->running());
    ASSERT_EQ(pilot->messages.size(), 1u);
    EXPECT_EQ(pilot->messages[0].text, text);
    EXPECT_EQ(reportTexts(), QStringList{text}) << "no run was started";
    EXPECT_EQ(window->statusText(), text);
    EXPECT_TRUE(logger->requests().empty()) << "the logger was not even woken";
    EXPECT_EQ(logger->mode(), sim::Mode::Application);
    EXPECT_TRUE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
    EXPECT_TRUE(child<QPushButton>(roles::kFileButton)->isEnabled());
  }
}

TEST_F(UpdateRunTest, FileModeSendsTheChosenFile) {
  startLogger();
  openInServiceMode({"f:+"});
  // Image 12's records under a header of its own: the texts tell whether the
  // file or the built-in image was sent.
  pilot->files = {writeImage12({.versionLow = 27})};
  click(roles::kFileButton);
  takeSnapshot();
  ASSERT_TRUE(waitForIdle(60000));
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Update ZorvikB V6.27 succesfully completed.");
  EXPECT_TRUE(reportTexts().contains("Update ZorvikB V6.27, A9g, BL3.0")) << reportTexts();
  EXPECT_EQ(logger->flashWrites().size(), 827u);

  ASSERT_TRUE(snapshot.taken);
  EXPECT_FALSE(snapshot.prog);
  EXPECT_FALSE(snapshot.file);
  EXPECT_FALSE(snapshot.fileVersion) << "File version cannot change the image of a run under way";
  EXPECT_TRUE(child<QPushButton>(roles::kFileButton)->isEnabled());
  EXPECT_TRUE(child<QAction>(roles::kFileVersionAction)->isEnabled());

  // The overview names the file that was sent, on top of the built-in images.
  window->findChild<QAction*>(roles::kFirmwareAction)->trigger();
  ASSERT_EQ(pilot->overviews.size(), 1u);
  ASSERT_EQ(pilot->overviews[0].rows.size(), 13u);
  EXPECT_EQ(pilot->overviews[0].rows[0][1], "6.27");
}

TEST_F(UpdateRunTest, CloseDuringRunAsksThenCancelsAndReleasesThePort) {
  // At the line's real pace programming takes more than a minute: a run
  // that was not cancelled would still hold the port long after the close.
  sim::LoggerConfig paced;
  paced.wireTiming = true;
  startLogger(paced);
  openInServiceMode();
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitFor([this] { return window->running() && !logger->flashWrites().empty(); }, 60000));

  pilot->answers = {"No"};
  EXPECT_FALSE(window->close());
  ASSERT_EQ(pilot->questions.size(), 1u);
  EXPECT_EQ(pilot->questions[0].text, "The update is not finished!\nDo you really close the program ?");
  EXPECT_TRUE(window->running()) << "No leaves the run going";
  EXPECT_TRUE(window->isVisible());

  pilot->answers = {"Yes"};
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->running());
  link::PortHandle again = link::openSerialPort(logger->devicePath(), 9600);
  EXPECT_TRUE(again) << "the run was cancelled and let go of the port before the window closed";
  link::closeSerialPort(again);
  QTest::qWait(50);  // room for anything the run might still post
  EXPECT_TRUE(pilot->messages.empty()) << "no message after the window has gone";
}

}  // namespace
}  // namespace zorvik::testing
