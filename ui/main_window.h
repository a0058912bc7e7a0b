// The main window: port box, progress bar, the buttons that start, cancel
// and end an update, status bar and the "Info" menu. It only draws: the
// window controller (session/window_controller.h) decides what happens
// around runs (the request, repeats, pauses, closing, texts, which controls
// are enabled) and the window shows it and forwards the user's actions.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/finding.h"
#include "engine/startup_options.h"
#include "link/sleeper.h"
#include "ports/port_rules.h"
#include "session/window_controller.h"

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
  std::shared_ptr<link::Sleeper> sleeper;  // the protocol's fixed pauses; null: real ones
  std::function<std::vector<std::string>()> readPorts;  // null: the system's logger ports
  bool watchDevices = true;  // follow port arrivals and removals
  std::string historyPath;   // the update history; empty: the default place
  std::filesystem::path stationWatchDir;  // the station's port links; empty: /dev/serial/by-id, FTDI only
  std::filesystem::path traceDirectory;   // "Write trace" files; empty: the per-user default
  std::function<std::chrono::steady_clock::time_point()> clock;  // times the lines for the time left; null: real time
};

class MainWindow : public QMainWindow, private session::WindowView {
 public:
  using Environment = MainWindowEnvironment;

  // arguments: as QCoreApplication::arguments(), the program path first.
  explicit MainWindow(const QStringList& arguments, Environment environment = Environment());
  ~MainWindow() override;

  void handleDeviceChange(const ports::DeviceNotification& notification);

  bool running() const { return controller_.running(); }
  // "Update" asks the logger who it is before its question.
  bool askingLogger() const { return controller_.askingLogger(); }
  const engine::StartupOptions& options() const { return controller_.options(); }
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
  void applyOptions();
  void layoutForFileMode();
  void createSecondaryWindows();
  void showReportWhenIdle();
  void readPortList();

  // The user's actions, forwarded to the controller.
  void updateClicked() { controller_.updateClicked(); }
  void fileClicked() { controller_.fileClicked(); }
  void cancelClicked() { controller_.cancelClicked(); }
  void showOverview() { controller_.firmwareClicked(); }
  void fileVersionClicked() { controller_.fileVersionClicked(); }
  void showHistory();
  void showAbout();

  // "Check port": the doctor's checks of the port in the port box.
  void checkPortClicked();
  void portCheckDone(const std::vector<diagnostics::Finding>& findings);
  void waitForPortCheck();

  // The pause before a repeat is over.
  void endPause();

  // What the controller tells the window to draw, ask and read.
  void report(const std::string& text) override;
  void setStatus(const std::string& text) override;
  void setProgress(int percent) override;
  void setLineProgress(const session::LineProgress& progress) override;
  void setTaskbarTitle(const std::string& title) override;
  void showMessage(const std::string& text, session::MessageIcon icon) override;
  void beep() override;
  void showControls(const session::WindowControls& controls) override;
  void clearReport() override;
  void showOverview(const std::optional<images::ImageHeader>& fileHeader) override;
  bool ask(const session::Question& question) override;
  std::optional<session::ChosenFile> chooseFile() override;
  std::string portName() override;
  bool readInfoOnly() override;
  bool traceChecked() override;
  std::string pathText(const std::filesystem::path& path) override;
  void startPause(std::chrono::milliseconds pause) override;
  void processEventsLater() override;
  void closeLater() override;
  void keepPainting() override;
  void forgetRunEvents() override;
  void postTargetAnswer(const session::TargetAnswer& answer) override;

  Environment environment_;
  QString dialogDirectory_;  // where the file dialog opens
  std::shared_ptr<EventTarget> target_;
  std::unique_ptr<WindowHistory> history_;  // opened once; the session records each update in it
  session::WindowController controller_;
  std::unique_ptr<PortCheck> portCheck_;  // the check under way, if any
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
  QAction* aboutAction_ = nullptr;
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
