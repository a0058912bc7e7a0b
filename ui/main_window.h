// The main window: port box, progress bar, the buttons that start, cancel
// and end an update, status bar and the "Info" menu. It only draws: the
// update session decides what happens around runs (repeats, pauses, texts,
// which controls are enabled) and the window shows it.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/finding.h"
#include "engine/startup_options.h"
#include "images/image_header.h"
#include "link/sleeper.h"
#include "ports/port_rules.h"
#include "session/update_session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace zorvik::ui {

class EventTarget;
class PortWatcher;
class FirmwareOverview;
class HistoryDialog;
class MessageWindow;
class PortCheck;
class PortCheckDialog;
class ReportWindow;
class StationWindow;
class WindowHistory;

// What the main window uses of the outside world; tests replace parts of it.
struct MainWindowEnvironment {
  std::shared_ptr<Sleeper> sleeper;  // the protocol's fixed pauses; null: real ones
  std::function<std::vector<std::string>()> readPorts;  // null: the system's logger ports
  bool watchDevices = true;  // follow port arrivals and removals
  std::string historyPath;   // the update history; empty: the default place
  std::filesystem::path stationWatchDir;  // the station's port links; empty: /dev/serial/by-id, FTDI only
  std::filesystem::path traceDirectory;   // "Write trace" files; empty: the per-user default
  std::function<std::chrono::steady_clock::time_point()> clock;  // times the lines for the time left; null: real time
};

class MainWindow : public QMainWindow, private session::SessionView {
 public:
  using Environment = MainWindowEnvironment;

  // arguments: as QCoreApplication::arguments(), the program path first.
  explicit MainWindow(const QStringList& arguments, Environment environment = Environment());
  ~MainWindow() override;

  void handleDeviceChange(const ports::DeviceNotification& notification);

  bool running() const { return session_.running(); }
  const StartupOptions& options() const { return options_; }
  QString statusText() const;
  ReportWindow* reportWindow() const { return reportWindow_; }
  MessageWindow* messageWindow() const { return messageWindow_; }
  FirmwareOverview* overview() const { return overview_; }
  HistoryDialog* historyDialog() const { return historyDialog_; }
  // "Info" -> "Check port" while it is open.
  PortCheckDialog* portCheckDialog() const;
  // Opens the station view (or raises the one open), which updates every
  // logger plugged in without asking; it goes away when closed. None while
  // an update of the window's own is under way.
  StationWindow* openStation();

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  // Construction.
  void createControls();
  void createMenu();
  void applyOptions(const QStringList& arguments);
  void layoutForFileMode();
  void createSecondaryWindows();
  void showReportWhenIdle();
  void readPortList();

  // The user's actions.
  void updateClicked();
  void fileClicked();
  void cancelClicked();
  void showOverview();
  void showHistory();
  void fileVersionClicked();
  bool confirm(const session::Question& question);
  QString chooseFile();
  std::optional<RunRequest> prepareRun(const QString& fileName);
  bool openTrace(RunRequest& request);
  void refuseRun(const std::string& text);

  // "Check port": the doctor's checks of the port in the port box.
  void checkPortClicked();
  void portCheckDone(const std::vector<diagnostics::Finding>& findings);
  void waitForPortCheck();
  bool portFree() const { return !session_.running() && !portCheck_; }

  // Events of the runs, held back while the window must not handle them.
  void processUpdateEvents();
  void endPause();
  void abandonUpdate();

  // What the session tells the window to draw.
  void report(const std::string& text) override;
  void setStatus(const std::string& text) override;
  void setProgress(int percent) override;
  void setLineProgress(const session::LineProgress& progress) override;
  void setTaskbarTitle(const std::string& title) override;
  void showMessage(const std::string& text) override;
  void beep() override;
  void showControls(const session::Controls& controls) override;
  void startPause(std::chrono::milliseconds pause) override;

  Environment environment_;
  StartupOptions options_;
  QString dialogDirectory_;  // where the file dialog opens
  std::optional<ImageHeader> fileHeader_;  // read by "File version", shown in the overview
  std::shared_ptr<EventTarget> target_;
  std::unique_ptr<WindowHistory> history_;  // opened once; the session records each update in it
  session::UpdateSession session_;
  std::unique_ptr<PortCheck> portCheck_;  // the check under way, if any

  // Update events wait here while the window must not handle them (the pause
  // before a repeat, an open question, the closing) and while one is being
  // handled, so that they are handled one at a time in posting order.
  std::deque<RunEvent> pending_;
  bool handling_ = false;
  bool pausing_ = false;
  int questionDepth_ = 0;
  bool closing_ = false;
  bool closeAfterPause_ = false;
  bool cursorOverridden_ = false;

  QWidget* panel_ = nullptr;
  QComboBox* portBox_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QPushButton* updateButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;
  QPushButton* fileButton_ = nullptr;
  QCheckBox* readInfoOnlyBox_ = nullptr;
  QCheckBox* traceBox_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  QMenu* infoMenu_ = nullptr;
  QAction* firmwareAction_ = nullptr;
  QAction* fileVersionAction_ = nullptr;
  QAction* historyAction_ = nullptr;
  QAction* stationAction_ = nullptr;
  QAction* checkPortAction_ = nullptr;
  QAction* exitAction_ = nullptr;
  PortWatcher* portWatcher_ = nullptr;

  FirmwareOverview* overview_ = nullptr;
  HistoryDialog* historyDialog_ = nullptr;
  QPointer<StationWindow> station_;
  QPointer<PortCheckDialog> portCheckDialog_;
  ReportWindow* reportWindow_ = nullptr;
  MessageWindow* messageWindow_ = nullptr;
};

}  // namespace zorvik::ui
