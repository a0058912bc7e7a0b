// The main window: port box, progress bar, the buttons that start, cancel
// and end a run, status bar and the "Info" menu. It starts the update thread
// of a run, keeps the controls in step with it and presents the thread's
// events.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm_thread.h"
#include "port_list.h"
#include "startup_options.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QProgressBar;
class QPushButton;

namespace zorvik::ui {

class EventTarget;
class PortWatcher;
class TfrmInfo;
class TfrmMessage;
class TfrmProtocol;

// What the main window uses of the outside world; tests replace parts of it.
struct MainWindowEnvironment {
  Sleeper* sleeper = nullptr;  // the protocol's fixed pauses; null: real ones
  std::function<std::vector<std::string>()> readPorts;  // null: the system's logger ports
  bool watchDevices = true;    // follow port arrivals and removals
};

class TfrmMain : public QMainWindow {
 public:
  using Environment = MainWindowEnvironment;

  // arguments: as QCoreApplication::arguments(), the program path first.
  explicit TfrmMain(const QStringList& arguments, Environment environment = Environment());
  ~TfrmMain() override;

  void startRun(TCmd cmd);
  void endRun();
  // False when the run cannot start (an image file that cannot be loaded);
  // the user has been told why.
  bool prepareRun(const QString& fileName);
  void report(const QString& text);
  void setStatus(const QString& text);
  void showMessage(const QString& text);

  void HandleUpdateEvent(std::uint32_t code, std::int32_t value);
  void HandleDeviceChange(const DeviceNotification& notification);

  bool running() const { return FRunning; }
  const StartupOptions& options() const { return FOptions; }
  QString statusText() const;
  TfrmProtocol* frmProtocol() const { return FfrmProtocol; }
  TfrmMessage* frmMessage() const { return FfrmMessage; }
  TfrmInfo* frmInfo() const { return FfrmInfo; }

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void FormCreate(const QStringList& arguments);
  void createControls();
  void createMenu();
  void layoutForFileMode();
  void InitForms();
  void ApplicationEvents1Idle();

  void btnProgClick();
  void btnFileClick();
  void btnCancelClick();
  void menInfoFirmwareClick();
  void menInfoFileClick();

  bool confirm(const QString& line1, const QString& line2);
  bool confirmUpdate();
  QString chooseFile();
  void readPortList();
  void setRunningState(bool running);
  void processUpdateEvents();
  void startRun(TCmd cmd, bool cancelled);
  void beginRepeatPause(TCmd cmd);
  void reportOpenFailureHint();
  void endRepeatPause(TCmd cmd);
  void abandonRun();

  Environment FEnvironment;
  StartupOptions FOptions;
  QString FPort;
  QString FDialogDirectory;  // where the file dialog opens
  bool FRunning = false;  // stands for the worker reference: set from start to final event
  std::shared_ptr<UpdateMemory> FMemory;
  std::shared_ptr<EventTarget> FTarget;

  // Update events wait here while the window must not handle them (the pause
  // before a repeat, an open question, the closing) and while one is being
  // handled, so that they are handled one at a time in posting order.
  std::deque<std::pair<std::uint32_t, std::int32_t>> FPending;
  bool FHandling = false;
  bool FPausing = false;
  int FQuestionDepth = 0;
  bool FClosing = false;
  bool FCloseAfterPause = false;
  bool FSavedCancel = false;
  bool FCursorOverridden = false;

  QWidget* Panel1 = nullptr;
  QComboBox* cbxPort = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* btnProg = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnClose = nullptr;
  QPushButton* btnFile = nullptr;
  QCheckBox* chkReadInfoOnly = nullptr;
  QLabel* StatusText = nullptr;
  QAction* menInfoFirmware = nullptr;
  QAction* menInfoFile = nullptr;
  QAction* menFileExit = nullptr;
  PortWatcher* FPortWatcher = nullptr;

  TfrmInfo* FfrmInfo = nullptr;
  TfrmProtocol* FfrmProtocol = nullptr;
  TfrmMessage* FfrmMessage = nullptr;
};

}  // namespace zorvik::ui
