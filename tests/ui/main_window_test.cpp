// The main window as each mode shows it: controls, layout, the start-up
// options and the question before "Update".
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "engine/event_texts.h"
#include "engine/startup_options.h"
#include "link/serial_port.h"
#include "session/window_controller.h"
#include "tests/ui/ui_fixture.h"
#include "ui/report_window.h"

namespace zorvik::testing {
namespace {

class MainWindowTest : public UiTest {};

struct ModeCase {
  const char* name;
  const char* intern;  // the per-user value, nullptr: none
  QStringList switches;
  engine::FileMode fileMode;
  bool checkClass, checkFirmwareClass, checkPlatform;
  bool memoryFormat;
};

TEST_F(MainWindowTest, StartupOptionsSetModeChecksAndVisibility) {
  const ModeCase cases[] = {
      {"normal", nullptr, {}, engine::FileMode::Normal, true, true, true, false},
      {"switches ignored without service mode", nullptr, {"cc:-", "f:+"}, engine::FileMode::Normal, true, true, true, false},
      {"wrong access code", "1234", {"cc:-"}, engine::FileMode::Normal, true, true, true, false},
      {"not a number", "abc", {}, engine::FileMode::Normal, true, true, true, false},
      {"service, CP:-", "7406", {"CP:-"}, engine::FileMode::Service, true, true, false, false},
      {"service, first cf: wins", "7406", {"cf:-", "cf:+"}, engine::FileMode::Service, true, false, true, false},
      {"service, f: without value", "7406", {"f:"}, engine::FileMode::Service, true, true, true, false},
      {"service, cc:+ changes nothing", "7406", {"cc:+", "cc:no"}, engine::FileMode::Service, true, true, true, false},
      {"file mode", "7406", {"f:+", "cc:-"}, engine::FileMode::ServiceWithFiles, false, true, true, false},
      {"mf:+ without service mode", nullptr, {"mf:+"}, engine::FileMode::Normal, true, true, true, true},
      {"mf:+ in service mode", "7406", {"mf:+"}, engine::FileMode::Service, true, true, true, true},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.intern) setInternalSetting(c.intern);
    else clearInternalSetting();
    open(c.switches);

    const bool service = c.fileMode != engine::FileMode::Normal;
    EXPECT_EQ(window->options().fileMode, c.fileMode);
    EXPECT_EQ(window->options().serviceMode, service);
    EXPECT_EQ(window->options().memoryFormat, c.memoryFormat);
    const engine::RunOptions& checks = window->options().runOptions;
    EXPECT_EQ(checks.checkClass, c.checkClass);
    EXPECT_EQ(checks.checkFirmwareClass, c.checkFirmwareClass);
    EXPECT_EQ(checks.checkPlatform, c.checkPlatform);
    EXPECT_EQ(window->statusText(), c.memoryFormat ? "F" : "");

    EXPECT_EQ(child<QCheckBox>(roles::kReadInfoOnlyBox)->isVisible(), service);
    EXPECT_FALSE(child<QCheckBox>(roles::kReadInfoOnlyBox)->isChecked());
    EXPECT_EQ(child<QCheckBox>(roles::kTraceBox)->isVisible(), service);
    EXPECT_FALSE(child<QCheckBox>(roles::kTraceBox)->isChecked());
    EXPECT_EQ(child<QPushButton>(roles::kFileButton)->isVisible(), c.fileMode == engine::FileMode::ServiceWithFiles);
    EXPECT_EQ(child<QAction>(roles::kFileVersionAction)->isVisible(), c.fileMode == engine::FileMode::ServiceWithFiles);
    EXPECT_TRUE(waitFor([&] { return window->reportWindow()->isVisible() == service; }, 2000))
        << "report window shown in service mode only";
    window.reset();
  }
}

TEST_F(MainWindowTest, LayoutAsDesigned) {
  open({}, {"/dev/ttyUSB0", "/dev/ttyUSB1"});
  EXPECT_EQ(window->windowTitle(), engine::kAppTitle);
  EXPECT_EQ(window->width(), 355);
  EXPECT_EQ(window->centralWidget()->height(), 161);
  // As designed, 15 high, or as high as its text needs (StatusTextIsNotClipped).
  EXPECT_GE(window->statusBar()->height(), 15);
  EXPECT_EQ(window->statusBar()->geometry().top(), window->centralWidget()->geometry().bottom() + 1);
  EXPECT_EQ(window->height(), window->statusBar()->geometry().bottom() + 1) << "nothing below the status bar";
  EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "fixed size";
  EXPECT_EQ(child<QComboBox>(roles::kPortBox)->geometry(), QRect(77, 11, 263, 21));
  EXPECT_TRUE(child<QComboBox>(roles::kPortBox)->isEditable());
  EXPECT_EQ(child<QComboBox>(roles::kPortBox)->currentText(), "/dev/ttyUSB0");
  EXPECT_EQ(child<QProgressBar>(roles::kProgressBar)->geometry(), QRect(13, 46, 327, 26));
  EXPECT_EQ(child<QPushButton>(roles::kUpdateButton)->geometry(), QRect(40, 86, 111, 32));
  EXPECT_EQ(child<QPushButton>(roles::kCloseButton)->geometry(), QRect(200, 86, 111, 32));
  EXPECT_EQ(child<QPushButton>(roles::kCancelButton)->geometry(), child<QPushButton>(roles::kCloseButton)->geometry());
  EXPECT_TRUE(child<QPushButton>(roles::kCloseButton)->isVisible());
  EXPECT_FALSE(child<QPushButton>(roles::kCancelButton)->isVisible());

  QMenu* info = window->menuBar()->findChild<QMenu*>(roles::kInfoMenu);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->title(), "Info v2025-04-24");
  QStringList entries;
  for (QAction* a : info->actions()) entries << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(entries, (QStringList{"Firmware", "File version", "History", "Check port", "Station", "About", "-", "Exit"}));
}

// The status text, in the bar's font, fits the bar's height: nothing of it
// is cut off at the bottom.
TEST_F(MainWindowTest, StatusTextIsNotClipped) {
  open({}, {"/dev/ttyUSB0"});
  auto* label = child<QLabel>(roles::kStatusLabel);
  ASSERT_NE(label, nullptr);
  const QRect shown = QRect(label->mapTo(window->statusBar(), QPoint(0, 0)), label->size());
  const QRect bar = window->statusBar()->rect();
  EXPECT_TRUE(bar.contains(shown)) << "label " << shown.y() << "+" << shown.height() << " in a bar of " << bar.height();
  const QMargins margins = label->contentsMargins();
  EXPECT_GE(label->height() - margins.top() - margins.bottom(), label->fontMetrics().height())
      << "the text's line is " << label->fontMetrics().height() << " pixels high";
}

// "Info" -> "About": the program's name and the version the project was built as.
TEST_F(MainWindowTest, AboutNamesTheProgramAndItsVersion) {
  open();
  QAction* aboutAction = window->findChild<QAction*>(roles::kAboutAction);
  ASSERT_NE(aboutAction, nullptr);
  aboutAction->trigger();
  ASSERT_EQ(pilot->questions.size(), 1u);
  EXPECT_EQ(pilot->questions[0].title, "About");
  EXPECT_EQ(pilot->questions[0].text, QString("Zorvik Firmware Update\nVersion ") + ZORVIK_VERSION);
  EXPECT_EQ(pilot->questions[0].buttons, QStringList{"OK"});
}

// Outside service mode the report is never seen: a failed update's message
// names its cause and its fix under the specified text, with a warning icon.
TEST_F(MainWindowTest, NormalModeMessageNamesCauseAndFix) {
  open({}, {"/dev/zorvik-no-such-port"});
  pilot->answers = {"Yes"};
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitForIdle());
  EXPECT_FALSE(window->reportWindow()->isVisible());
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text,
            "Aborted because serial port \"/dev/zorvik-no-such-port\" is not ready!\n\n"
            "Cause: no such port (No such file or directory)\n"
            "Fix: is the adapter plugged in? see zorvik-updater-cli --list-ports");
  EXPECT_TRUE(pilot->messages[0].warning);
  EXPECT_TRUE(pilot->messages[0].iconShown);
  EXPECT_EQ(window->statusText(), "Aborted because serial port \"/dev/zorvik-no-such-port\" is not ready!")
      << "the status keeps the specified text";
}

TEST_F(MainWindowTest, FileModeButtonsStandSideBySide) {
  setInternalSetting("7406");
  open({"f:+"});
  EXPECT_EQ(child<QPushButton>(roles::kUpdateButton)->geometry(), QRect(40, 86, 55, 32));
  EXPECT_EQ(child<QPushButton>(roles::kFileButton)->geometry(), QRect(103, 86, 55, 32));
  EXPECT_EQ(child<QPushButton>(roles::kCloseButton)->geometry(), QRect(200, 86, 111, 32));
  EXPECT_TRUE(child<QPushButton>(roles::kFileButton)->isVisible());

  click(roles::kFileButton);  // the pilot cancels the file dialog
  EXPECT_EQ(pilot->fileDialogs, 1);
  EXPECT_FALSE(window->running());
  EXPECT_TRUE(window->reportWindow()->lines().isEmpty());
}

struct QuestionCase {
  const char* name;
  const char* intern;
  QStringList switches;
  QString question;  // empty: none asked
};

TEST_F(MainWindowTest, QuestionBeforeUpdateAndNoStartsNothing) {
  const QuestionCase cases[] = {
      {"normal", nullptr, {}, "Do you save your measurements ?\nDo you really continue without saving ?"},
      {"memory format", nullptr, {"mf:+"}, "This update clears all measurements!\nDo you really continue ?"},
      {"memory format in service mode", "7406", {"mf:+"},
       "This update clears all measurements!\nDo you really continue ?"},
  };
  for (const QuestionCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.intern) setInternalSetting(c.intern);
    else clearInternalSetting();
    pilot->questions.clear();
    open(c.switches, {"/dev/zorvik-no-such-port"});
    pilot->answers = {"No"};
    click(roles::kUpdateButton);
    // The logger is asked who it is first; here the port is not there.
    ASSERT_TRUE(waitFor([this] { return !pilot->questions.empty(); }));
    ASSERT_EQ(pilot->questions.size(), 1u);
    const SeenQuestion& q = pilot->questions.front();
    EXPECT_EQ(q.title, "Confirm");
    EXPECT_EQ(q.text, c.question);
    EXPECT_EQ(q.detail, "/dev/zorvik-no-such-port: the logger could not be asked who it is (Aborted because serial "
                        "port \"/dev/zorvik-no-such-port\" is not ready!)");
    EXPECT_EQ(q.buttons, (QStringList{"Yes", "No"}));
    EXPECT_TRUE(q.questionIcon);
    EXPECT_FALSE(window->running());
    EXPECT_TRUE(window->reportWindow()->lines().isEmpty()) << "nothing prepared, nothing started";
    EXPECT_TRUE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
    window.reset();
  }
}

// The question names what is about to be overwritten, as the logger tells
// it; "No" leaves the logger in its application with nothing written.
TEST_F(MainWindowTest, QuestionNamesTheLoggerAndNoLeavesItUntouched) {
  sim::LoggerConfig config;
  config.appVersion = 0x0614;
  config.serialNumber = 410001;
  startLogger(config);
  open({}, {logger->devicePath()});
  pilot->answers = {"No"};
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitFor([this] { return !pilot->questions.empty(); }));
  ASSERT_EQ(pilot->questions.size(), 1u);
  const SeenQuestion& q = pilot->questions.front();
  EXPECT_EQ(q.text, "Do you save your measurements ?\nDo you really continue without saving ?")
      << "the two lines stay as they were, first";
  EXPECT_EQ(q.detail, port() + ": ZorvikB, serial number 410001, version 6.20 -> 6.26 (the newest image for its class)");
  EXPECT_FALSE(window->running());
  EXPECT_TRUE(window->reportWindow()->lines().isEmpty()) << "nothing prepared, nothing started";
  for (const sim::Request r : logger->requests()) {
    EXPECT_TRUE(r == sim::Request::NullFrame || r == sim::Request::IdentityQuery || r == sim::Request::SerialQuery)
        << "only asked who it is, never switched: request " << static_cast<int>(r);
  }
  EXPECT_EQ(logger->mode(), sim::Mode::Application);
  EXPECT_TRUE(logger->flashWrites().empty());
  EXPECT_EQ(window->statusText(), "") << "the status as it was before the asking";
  EXPECT_TRUE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
  EXPECT_TRUE(child<QComboBox>(roles::kPortBox)->isEnabled());
}

// A logger that does not answer keeps the asking going for a while: the
// window says what it waits for, starts no second update, and closes at once
// when asked to (the asking is cancelled; no question comes after).
TEST_F(MainWindowTest, WhileTheLoggerIsAskedNoSecondUpdateAndClosingGivesUp) {
  startLogger();
  logger->injectFault({sim::FaultKind::NoAnswer, sim::Request::IdentityQuery, 0, 100000});
  open({}, {logger->devicePath()});
  click(roles::kUpdateButton);
  EXPECT_EQ(window->statusText(), QString::fromStdString(session::askingLoggerText(logger->devicePath())));
  EXPECT_TRUE(window->askingLogger());
  EXPECT_FALSE(child<QPushButton>(roles::kUpdateButton)->isEnabled());
  EXPECT_FALSE(child<QComboBox>(roles::kPortBox)->isEnabled()) << "the question will name the port being asked";
  EXPECT_FALSE(child<QAction>(roles::kStationAction)->isEnabled());
  EXPECT_FALSE(child<QAction>(roles::kCheckPortAction)->isEnabled());
  QTest::qWait(100);
  EXPECT_TRUE(window->askingLogger()) << "a silent logger takes longer than that";

  EXPECT_TRUE(window->close()) << "nothing has been written: no question before closing";
  EXPECT_FALSE(window->askingLogger());
  link::PortHandle again = link::openSerialPort(logger->devicePath(), 9600);
  EXPECT_TRUE(again) << "the asking let go of the port before the window closed";
  link::closeSerialPort(again);
  QTest::qWait(100);  // room for the answer of the asking given up
  EXPECT_TRUE(pilot->questions.empty()) << "no question after the window has closed";
  EXPECT_FALSE(window->running());
}

TEST_F(MainWindowTest, ServiceModeStartsWithoutQuestion) {
  setInternalSetting("7406");
  open({}, {"/dev/zorvik-no-such-port"});
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitForIdle());
  EXPECT_TRUE(pilot->questions.empty());
  ASSERT_EQ(pilot->messages.size(), 1u);
  // Error 10 names the port by the text of the port box; the message goes
  // on with the cause and the fix.
  const QString error = "Aborted because serial port \"/dev/zorvik-no-such-port\" is not ready!";
  EXPECT_TRUE(pilot->messages[0].text.startsWith(error + "\n\nCause: no such port")) << pilot->messages[0].text;
  // The cause and the fix follow the error, one line, in the port doctor's words.
  EXPECT_EQ(reportTexts(), (QStringList{"Start at serial port \"/dev/zorvik-no-such-port\"",
                                        "Aborted because serial port \"/dev/zorvik-no-such-port\" is not ready!",
                                        "no such port (No such file or directory): is the adapter plugged in? "
                                        "see zorvik-updater-cli --list-ports"}));
  EXPECT_EQ(window->statusText(), error);
  EXPECT_EQ(window->statusBar()->toolTip(), error) << "the hint repeats the status text";
}

// A port the user may not open: the report explains why after the error
// text. Root may open anything, so this runs only as an ordinary user.
TEST_F(MainWindowTest, PortWithoutPermissionNamesTheFixInTheReport) {
  if (::getuid() == 0) GTEST_SKIP() << "root opens every port; run the suite as an ordinary user to see this";
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminal";
  const std::string path = ::ptsname(master);
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  setInternalSetting("7406");
  open({}, {path});
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitForIdle());
  const QStringList lines = reportTexts();
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[1], QString::fromStdString("Aborted because serial port \"" + path + "\" is not ready!"));
  // The port doctor's words: why not even its owner may use the device, its
  // mode bits, and the fix.
  const QString user = QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name);
  EXPECT_TRUE(lines[2].startsWith("you own it, but its permissions let not even you read and write it (c--------- " +
                                  user + ":"))
      << lines[2].toStdString();
  EXPECT_TRUE(lines[2].contains(": give yourself read and write permission (chmod u+rw on the device)"))
      << lines[2].toStdString();
  ::close(master);
}

// A process of its own that holds `path` open and locked, as a terminal
// program or a second updater would, until it is killed.
class PortHolder {
 public:
  explicit PortHolder(const std::string& path) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only system calls between fork and _exit: the parent has threads.
      // A terminal program has none of the parent's files, in particular not
      // the in-process simulator's master, which would make it the port's server.
      for (int fd = 3; fd < 1024; ++fd) {
        if (fd != ready[1]) ::close(fd);
      }
      ::prctl(PR_SET_NAME, "port-holder");
      const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
      if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::write(ready[1], "!", 1) != 1) ::_exit(1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char sign = 0;
    holding_ = pid_ > 0 && ::read(ready[0], &sign, 1) == 1;
    ::close(ready[0]);
  }
  ~PortHolder() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  bool holding() const { return holding_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool holding_ = false;
};

// Another program has the port: the error text stays as it is, and the line
// after it names that program, as the port doctor finds it among the
// processes.
TEST_F(MainWindowTest, PortHeldByAnotherProgramNamesItInTheReport) {
  startLogger();
  const std::string path = logger->devicePath();
  const PortHolder holder(path);
  ASSERT_TRUE(holder.holding());
  setInternalSetting("7406");
  open({}, {path});
  click(roles::kUpdateButton);
  ASSERT_TRUE(waitForIdle());
  const QString port = QString::fromStdString(path);
  const QString error = "Aborted because serial port \"" + port + "\" is not ready!";
  EXPECT_EQ(reportTexts(), (QStringList{"Start at serial port \"" + port + "\"", error,
                                        QString("held by process %1 (port-holder): close that program").arg(holder.pid())}));
  ASSERT_EQ(pilot->messages.size(), 1u);
  EXPECT_EQ(pilot->messages[0].text,
            error + QString("\n\nCause: held by process %1 (port-holder)\nFix: close that program").arg(holder.pid()));
  EXPECT_EQ(logger->bytesReceived(), 0u) << "nothing reached the logger";
}

}  // namespace
}  // namespace zorvik::testing
