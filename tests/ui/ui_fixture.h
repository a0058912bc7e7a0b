// What the window tests share: a window opened with chosen options and ports,
// a simulated logger, and a pilot that answers every modal dialog the way the
// test asked and records what it saw.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "session/widget_roles.h"
#include "sim/simulated_logger.h"
#include "ui/main_window.h"

// Readable failure messages for Qt's text types: as text, not as one
// element per character (GoogleTest finds PrintTo before container printing).
inline std::ostream& operator<<(std::ostream& os, const QString& text) { return os << text.toStdString(); }
inline std::ostream& operator<<(std::ostream& os, const QStringList& texts) {
  return os << "[" << texts.join(" | ").toStdString() << "]";
}
inline void PrintTo(const QString& text, std::ostream* os) { *os << text; }
inline void PrintTo(const QStringList& texts, std::ostream* os) { *os << texts; }

namespace zorvik::testing {

// Widgets are found by their roles.
namespace roles = session::roles;

struct SeenMessage {  // the message window as it was shown
  QString text;
  QRect frame;
  QRect mainFrame;
  bool warning = false;  // the warning icon, else the information icon
  bool iconShown = false;
  QRect icon, textArea, okButton;  // in the window's client area
  int clientWidth = 0;
};
struct SeenQuestion {  // a confirmation
  QString title;
  QString text;
  QStringList buttons;
  bool questionIcon = false;
  QString detail;  // the text under the question (what it is about)
};
struct SeenHistory {  // "Info" -> "History"
  QStringList headings;
  std::vector<QStringList> rows;
  QString problem;  // the line above the list, when shown
};
struct SeenOverview {  // the firmware overview dialog
  std::vector<QStringList> rows;
  QStringList headers;
  std::vector<int> columnWidths;
  int clientWidth = 0;
  int viewportWidth = 0;
  QRect frame;
  bool okHasFocus = false;
};

class ModalPilot : public QObject {
 public:
  ModalPilot();
  std::deque<QString> answers;  // "Yes" or "No" for the next questions; none left: "No"
  std::deque<QString> files;    // for the next file dialogs; none left: cancelled
  std::vector<SeenMessage> messages;
  std::vector<SeenQuestion> questions;
  std::vector<SeenOverview> overviews;
  std::vector<SeenHistory> histories;
  int fileDialogs = 0;
  std::function<void()> duringMessage;  // runs while the message window is open

 private:
  void look();
  QTimer timer_;
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Service mode on (the access code) or off, as the per-user settings say.
  static void setInternalSetting(const QString& value);
  static void clearInternalSetting();

  // A window with the given switches and port list; the protocol's fixed
  // pauses are over at once, serial timeouts stay real. Its update history,
  // its station's folder of port links and its trace folder are the test's
  // own (historyFile(), watchDir(), traceDirectory); `historyPath` replaces
  // the first. It measures the time left on `clock` when one is set.
  ui::MainWindow& open(const QStringList& switches = {}, std::vector<std::string> ports = {},
                       const QString& historyPath = {});
  QString historyFile() const { return scratch.filePath("history.sqlite"); }
  QString watchDir() const { return scratch.filePath("watch"); }
  void startLogger(const sim::LoggerConfig& config = {});

  template <class T>
  T* child(const char* name) {
    T* found = window->findChild<T*>(name);
    if (!found) ADD_FAILURE() << "no widget " << name;
    return found;
  }
  void click(const char* name);
  bool waitFor(const std::function<bool()>& condition, int timeoutMs = 20000);
  // Neither an update nor the asking of the logger before its question.
  bool waitForIdle(int timeoutMs = 20000);
  // The report's texts without their time stamps.
  QStringList reportTexts() const;
  QString port() const { return QString::fromStdString(logger->devicePath()); }

  QTemporaryDir scratch;
  std::filesystem::path traceDirectory;  // scratch/traces unless a test names another before open()
  std::function<std::chrono::steady_clock::time_point()> clock;
  std::unique_ptr<sim::SimulatedLogger> logger;
  std::unique_ptr<ui::MainWindow> window;
  std::unique_ptr<ModalPilot> pilot;
};

}  // namespace zorvik::testing
