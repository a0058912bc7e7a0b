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
#include <atomic>
#include <thread>

#include "catalogue.h"
#include "event_texts.h"
#include "protocol_window.h"
#include "serial_port.h"
#include "ui_fixture.h"

namespace zorvik::testing {
namespace {

using sim::FaultKind;
using sim::Request;

constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";

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

  // Right after the click that started a run, before any of its events is
  // handled: the running state as the user sees it.
  void takeSnapshot() {
    snapshot = {true,
                child<QPushButton>("btnProg")->isEnabled(),
                child<QPushButton>("btnFile")->isEnabled(),
                child<QAction>("menInfoFile")->isEnabled(),
                child<QPushButton>("btnClose")->isVisible(),
                child<QPushButton>("btnCancel")->isVisible(),
                child<QComboBox>("cbxPort")->isEnabled(),
                QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor};
  }

  void setPort() { child<QComboBox>("cbxPort")->setEditText(port()); }

  void openInternal(const QStringList& switches = {}, Sleeper* sleeper = nullptr) {
    setInternalSetting("7406");
    if (sleeper) reopenWithSleeper(switches, sleeper);
    else open(switches);
    setPort();
  }

  void reopenWithSleeper(const QStringList& switches, Sleeper* sleeper) {
    window.reset();
    ui::MainWindowEnvironment environment;
    environment.sleeper = sleeper;
    environment.readPorts = [] { return std::vector<std::string>{}; };
    environment.watchDevices = false;
    window = std::make_unique<ui::TfrmMain>(QStringList{"zorvik-updater"} + switches, environment);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  // An image file made of built-in image 12, with line `badLine` damaged when >= 0.
  QString writeImage12(int badLine = -1, const QString& bootloader = "3") {
    const TBl3FileHeader h = GetFirmwareHeader(12);
    QString text = QString("bootloader=%1\nbootloader version=%2\nclass=%3\nversionH=%4\nversionL=%5\n"
                           "platform=%6\nprint=%7\ndate=%8\n")
                       .arg(bootloader)
                       .arg(h.qorn_bl_ver)
                       .arg(h.qorn_class)
                       .arg(h.qorn_verH)
                       .arg(h.qorn_verL)
                       .arg(h.qorn_platform)
                       .arg(h.qorn_print)
                       .arg(QString::fromStdString(h.qorn_date));
    SelectedImage = 12;
    for (int i = 0; i <= GetFirmwareLastLine(); ++i) {
      std::string line = GetFirmwareLine(i);
      if (i == badLine) line.back() = line.back() == '0' ? '1' : '0';  // checksum no longer fits
      text += QString::fromStdString(line) + "\n";
    }
    SelectedImage = -1;
    const QString path = files.filePath("image.txt");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toLatin1());
    return path;
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
  click("btnProg");
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
  EXPECT_EQ(child<QProgressBar>("ProgressBar1")->value(), 100);
  EXPECT_EQ(window->windowTitle(), kAppTitle);
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
  EXPECT_TRUE(child<QPushButton>("btnProg")->isEnabled());
  EXPECT_TRUE(child<QPushButton>("btnClose")->isVisible());
  EXPECT_FALSE(child<QPushButton>("btnCancel")->isVisible());
  EXPECT_TRUE(child<QComboBox>("cbxPort")->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(window->frmProtocol()->isVisible()) << "normal mode: the report collects lines unseen";

  // The message window lies over the lower part of the main window.
  const SeenMessage& m = pilot->messages[0];
  EXPECT_EQ(m.frame.left(), m.mainFrame.left() + 10);
  EXPECT_EQ(m.frame.width(), m.mainFrame.width() - 20);
  EXPECT_EQ(m.frame.top(), m.mainFrame.top() + m.mainFrame.height() - m.frame.height() - 10);
}

TEST_F(UpdateRunTest, CancelEndsTheRunAndReturnsToIdle) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 100000});
  openInternal();
  click("btnProg");
  ASSERT_TRUE(waitFor([this] { return child<QPushButton>("btnCancel")->isVisible(); }));
  EXPECT_FALSE(child<QPushButton>("btnClose")->isVisible()) << "Close cannot be used during a run";
  click("btnCancel");
  ASSERT_TRUE(waitForIdle());
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Process cancelled!");
  EXPECT_EQ(reportTexts().last(), "Process cancelled!");
  EXPECT_EQ(window->statusText(), "Process cancelled!");
  EXPECT_TRUE(child<QPushButton>("btnClose")->isVisible());
  EXPECT_FALSE(child<QPushButton>("btnCancel")->isVisible());
  EXPECT_EQ(window->windowTitle(), kAppTitle);
}

TEST_F(UpdateRunTest, NoAnswerRepeatsAfterPauseThatTakesNoInput) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 5});
  openInternal();
  child<QCheckBox>("chkReadInfoOnly")->setChecked(true);
  click("btnProg");

  const QString repeat = "Repeat update because communication error!";
  ASSERT_TRUE(waitFor([&] { return window->statusText() == repeat; }));
  QElapsedTimer pause;
  pause.start();
  EXPECT_TRUE(window->running()) << "no return to idle between the attempts";
  EXPECT_TRUE(child<QPushButton>("btnCancel")->isVisible());
  click("chkReadInfoOnly");  // swallowed: the window takes no input during the pause
  ASSERT_TRUE(waitFor([&] { return reportTexts().count(QString("Start at serial port \"%1\"").arg(port())) == 2; }));
  EXPECT_GE(pause.elapsed(), 1400) << "the repeat waits its pause";
  ASSERT_TRUE(waitForIdle());

  const QStringList report = reportTexts();
  EXPECT_EQ(report.indexOf(repeat), 1);
  EXPECT_EQ(report.last(), "Only read update info!");
  EXPECT_TRUE(child<QCheckBox>("chkReadInfoOnly")->isChecked());
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Only read update info!");
  EXPECT_TRUE(logger->flashWrites().empty());
}

// Sets the cancel flag while the last attempt of the first identity query is
// still waiting for its answer: after the attempt's cancel test, before the
// run ends with "no answer".
class CancelDuringLastAttempt final : public Sleeper {
 public:
  void sleepMs(int) override {
    // Two wake-up pauses, then four pauses between the five attempts.
    if (++pauses_ != 6) return;
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      CancelRequested = true;
    }).detach();
  }

 private:
  std::atomic<int> pauses_{0};
};

TEST_F(UpdateRunTest, CancelDuringFailingRunStopsTheRepeatAtOnce) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 100000});
  static CancelDuringLastAttempt sleeper;  // outlives the worker threads
  openInternal({}, &sleeper);
  click("btnProg");
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
}

TEST_F(UpdateRunTest, EchoErrorRepeatsAtOnceAndSucceeds) {
  startLogger();
  logger->injectFault({FaultKind::AlteredEcho, Request::DataLine, 10, 1});
  openInternal();
  click("btnProg");
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

TEST_F(UpdateRunTest, ConversionErrorWritesNothingButItsMessage) {
  startLogger();
  openInternal({"f:+"});
  pilot->files = {writeImage12(5)};
  click("btnFile");
  takeSnapshot();
  ASSERT_TRUE(waitForIdle(60000));

  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, "Aborted because conversion error!");
  EXPECT_EQ(reportTexts().last(), "Aborted because conversion error at line  5 !");
  EXPECT_NE(window->statusText(), "Aborted because conversion error!");
  ASSERT_TRUE(snapshot.taken);
  EXPECT_FALSE(snapshot.file);
  EXPECT_FALSE(snapshot.fileVersion) << "File version cannot change the image of a run under way";
  EXPECT_TRUE(child<QAction>("menInfoFile")->isEnabled());
}

TEST_F(UpdateRunTest, FileThatCannotBeLoadedStartsNoRun) {
  startLogger();
  openInternal({"f:+"});
  const QString path = files.filePath("broken.txt");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("bootloader=3\nbootloader version=zero\n:00000001FF\n");
  file.close();
  pilot->files = {path};
  click("btnFile");

  EXPECT_FALSE(window->running());
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, QString("Aborted because image file \"%1\" has no valid image header!").arg(path));
  EXPECT_EQ(SelectedImage.load(), -1) << "no built-in image is sent in its place";
  EXPECT_TRUE(logger->requests().empty());
  EXPECT_TRUE(child<QPushButton>("btnProg")->isEnabled());
}

TEST_F(UpdateRunTest, FileModeSendsTheChosenFile) {
  startLogger();
  openInternal({"f:+"});
  pilot->files = {writeImage12()};
  click("btnFile");
  ASSERT_TRUE(waitForIdle(60000));
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text, kSuccess);
  EXPECT_EQ(SelectedImage.load(), 0);
  EXPECT_EQ(logger->flashWrites().size(), 827u);
}

TEST_F(UpdateRunTest, CloseDuringRunAsksThenCancelsAndReleasesThePort) {
  startLogger();
  logger->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 0, 100000});
  openInternal();
  click("btnProg");
  ASSERT_TRUE(waitFor([this] { return window->running() && !logger->requests().empty(); }));

  pilot->answers = {"No"};
  EXPECT_FALSE(window->close());
  ASSERT_EQ(pilot->questions.size(), 1u);
  EXPECT_EQ(pilot->questions[0].text, "The update is not finished!\nDo you really close the program ?");
  EXPECT_TRUE(window->running()) << "No leaves the run going";
  EXPECT_TRUE(window->isVisible());

  pilot->answers = {"Yes"};
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(CancelRequested.load());
  EXPECT_TRUE(waitForWorkers(std::chrono::milliseconds(0))) << "the worker has let go of the port";
  PortHandle again = rs232Open(logger->devicePath(), 9600);
  EXPECT_TRUE(again) << "the port can be opened again";
  if (again) rs232Close(again);
  EXPECT_TRUE(pilot->messages.empty()) << "no message after the window has gone";
}

}  // namespace
}  // namespace zorvik::testing
