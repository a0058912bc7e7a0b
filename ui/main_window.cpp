// Construction of the main window: controls, menu, start-up options, layout
// by mode, the secondary windows, the port list and the docking.
#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "diagnostics/doctor.h"
#include "engine/event_texts.h"
#include "ports/port_lister.h"
#include "session/widget_roles.h"
#include "ui/firmware_overview.h"
#include "ui/history_dialog.h"
#include "ui/message_window.h"
#include "ui/port_check.h"
#include "ui/port_check_dialog.h"
#include "ui/port_watcher.h"
#include "ui/report_window.h"
#include "ui/station_window.h"
#include "ui/update_event.h"
#include "ui/window_history.h"
#include "ui/window_options.h"

namespace zorvik::ui {

namespace roles = session::roles;

namespace {
constexpr int kClientWidth = 355;
constexpr int kPanelHeight = 161;
constexpr int kStatusBarHeight = 15;
constexpr const char* kMenuCaption = "Info v2025-04-24";

template <class W>
W* named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

// The system can tell more about a failed update than the link's words:
// who holds the port, which group or rule would grant it.
session::Explanation systemExplanation(const std::string& port, const link::Failure& failure) {
  const diagnostics::Explanation e = diagnostics::explainFailure(port, failure);
  return {e.reason, e.fix};
}

session::WindowSetup windowSetup(const QStringList& arguments, const std::shared_ptr<EventTarget>& target,
                                 const WindowHistory& history, const MainWindowEnvironment& environment) {
  session::WindowSetup setup;
  setup.session.sink = std::make_shared<QtEventSink>(target);
  setup.session.recorder = history.recorder();
  setup.session.explain = systemExplanation;
  if (environment.clock) setup.session.clock = environment.clock;
  setup.options = readWindowOptions(arguments);
  setup.sleeper = environment.sleeper;
  setup.traceDirectory = environment.traceDirectory;
  return setup;
}

}  // namespace

MainWindow::MainWindow(const QStringList& arguments, Environment environment)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      environment_(std::move(environment)),
      target_(std::make_shared<EventTarget>(this)),
      history_(std::make_unique<WindowHistory>(environment_.historyPath, "window")),
      controller_(*this, windowSetup(arguments, target_, *history_, environment_)) {
  setObjectName(roles::kMainWindow);
  setFont(QFont("Microsoft Sans Serif", 8));
  createControls();
  createMenu();
  applyOptions();
  createSecondaryWindows();
  if (environment_.watchDevices) {
    portWatcher_ = new PortWatcher([this](const ports::DeviceNotification& n) { handleDeviceChange(n); }, this);
  }
  QTimer::singleShot(0, this, [this] { showReportWhenIdle(); });
}

MainWindow::~MainWindow() {
  // A check still under way ends within seconds; its findings, posted to
  // this window, go with it.
  portCheck_.reset();
  // The station goes first: its runs end while everything they report to lives.
  delete station_;
  target_->detach();
  if (controller_.pausing()) qApp->removeEventFilter(this);
  if (cursorOverridden_) QApplication::restoreOverrideCursor();
}

void MainWindow::createControls() {
  panel_ = named(new QWidget(this), roles::kPanel);
  panel_->setFixedSize(kClientWidth, kPanelHeight);
  setCentralWidget(panel_);

  auto* dividerLine = named(new QFrame(panel_), roles::kDividerLine);
  dividerLine->setFrameShape(QFrame::HLine);
  dividerLine->setFrameShadow(QFrame::Sunken);
  dividerLine->setGeometry(0, 0, kClientWidth, 8);
  // Designed 42 x 13 for its original font; a wider substitute font gets the
  // room up to the port box, so the caption is never cut.
  auto* portLabel = named(new QLabel("Comport:", panel_), roles::kPortLabel);
  const QSize hint = portLabel->sizeHint();
  portLabel->setGeometry(13, 14, std::clamp(hint.width(), 42, 62), std::max(hint.height(), 13));

  portBox_ = named(new QComboBox(panel_), roles::kPortBox);
  portBox_->setEditable(true);
  portBox_->setInsertPolicy(QComboBox::NoInsert);
  portBox_->setGeometry(77, 11, 263, 21);
  progressBar_ = named(new QProgressBar(panel_), roles::kProgressBar);
  progressBar_->setRange(0, 100);
  progressBar_->setTextVisible(false);
  progressBar_->setGeometry(13, 46, 327, 26);
  updateButton_ = named(new QPushButton("Update", panel_), roles::kUpdateButton);
  updateButton_->setGeometry(40, 86, 113, 32);
  cancelButton_ = named(new QPushButton("Cancel", panel_), roles::kCancelButton);
  cancelButton_->setGeometry(200, 86, 111, 32);
  cancelButton_->setVisible(false);
  closeButton_ = named(new QPushButton("Close", panel_), roles::kCloseButton);
  closeButton_->setGeometry(200, 86, 111, 32);
  fileButton_ = named(new QPushButton("File", panel_), roles::kFileButton);
  fileButton_->setGeometry(101, 86, 52, 32);
  readInfoOnlyBox_ = named(new QCheckBox("Read info only", panel_), roles::kReadInfoOnlyBox);
  readInfoOnlyBox_->setGeometry(26, 134, 116, 14);
  // Under the Close button, in line with "Read info only".
  traceBox_ = named(new QCheckBox("Write trace", panel_), roles::kTraceBox);
  traceBox_->setGeometry(200, 134, 111, 14);

  setTabOrder(portBox_, updateButton_);
  setTabOrder(updateButton_, cancelButton_);
  setTabOrder(cancelButton_, closeButton_);
  setTabOrder(closeButton_, fileButton_);
  setTabOrder(fileButton_, readInfoOnlyBox_);
  setTabOrder(readInfoOnlyBox_, traceBox_);

  QStatusBar* bar = named(new QStatusBar(this), roles::kStatusBar);
  bar->setSizeGripEnabled(false);
  statusLabel_ = named(new QLabel(bar), roles::kStatusLabel);
  statusLabel_->setContentsMargins(2, 0, 2, 0);
  bar->addWidget(statusLabel_, 1);
  // As designed, unless the font needs more: the bar keeps a margin of its
  // own around the text, and a line of the text must fit whole inside it.
  bar->setFixedHeight(std::max(kStatusBarHeight, bar->sizeHint().height()));
  setStatusBar(bar);

  connect(updateButton_, &QPushButton::clicked, this, [this] { updateClicked(); });
  connect(fileButton_, &QPushButton::clicked, this, [this] { fileClicked(); });
  connect(cancelButton_, &QPushButton::clicked, this, [this] { cancelClicked(); });
  connect(closeButton_, &QPushButton::clicked, this, [this] { close(); });
}

void MainWindow::createMenu() {
  QMenuBar* bar = named(new QMenuBar(this), roles::kMenuBar);
  setMenuBar(bar);
  infoMenu_ = named(bar->addMenu(QString()), roles::kInfoMenu);
  firmwareAction_ = named(infoMenu_->addAction("Firmware"), roles::kFirmwareAction);
  fileVersionAction_ = named(infoMenu_->addAction("File version"), roles::kFileVersionAction);
  historyAction_ = named(infoMenu_->addAction("History"), roles::kHistoryAction);
  checkPortAction_ = named(infoMenu_->addAction("Check port"), roles::kCheckPortAction);
  stationAction_ = named(infoMenu_->addAction("Station"), roles::kStationAction);
  aboutAction_ = named(infoMenu_->addAction("About"), roles::kAboutAction);
  named(infoMenu_->addSeparator(), roles::kExitSeparator);
  exitAction_ = named(infoMenu_->addAction("Exit"), roles::kExitAction);
  connect(firmwareAction_, &QAction::triggered, this, [this] { showOverview(); });
  connect(fileVersionAction_, &QAction::triggered, this, [this] { fileVersionClicked(); });
  connect(historyAction_, &QAction::triggered, this, [this] { showHistory(); });
  connect(checkPortAction_, &QAction::triggered, this, [this] { checkPortClicked(); });
  connect(stationAction_, &QAction::triggered, this, [this] { openStation(); });
  connect(aboutAction_, &QAction::triggered, this, [this] { showAbout(); });
  connect(exitAction_, &QAction::triggered, this, [this] { close(); });
}

// The options themselves were read as the controller was made.
void MainWindow::applyOptions() {
  setWindowTitle(engine::kAppTitle);
  infoMenu_->setTitle(kMenuCaption);
  // The confirmation texts are fixed in ask(); nothing of the toolkit's
  // own language reaches them.
  dialogDirectory_ = QCoreApplication::applicationDirPath();
  readInfoOnlyBox_->setChecked(false);
  readInfoOnlyBox_->setVisible(options().serviceMode);
  traceBox_->setChecked(false);
  traceBox_->setVisible(options().serviceMode);
  layoutForFileMode();
  // The panel and the status bar make up the client area; the menu bar sits
  // above it inside the Qt window.
  setFixedSize(kClientWidth, menuBar()->sizeHint().height() + kPanelHeight + statusBar()->height());
  readPortList();
  if (portBox_->count() > 0) portBox_->setCurrentIndex(0);
  controller_.showIdle();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void MainWindow::layoutForFileMode() {
  const bool fileMode = options().fileMode == engine::FileMode::ServiceWithFiles;
  fileVersionAction_->setVisible(fileMode);
  fileButton_->setVisible(fileMode);
  if (!fileMode) {
    updateButton_->resize(closeButton_->width(), updateButton_->height());
    return;
  }
  const int half = closeButton_->width() / 2;
  fileButton_->resize(half, fileButton_->height());
  updateButton_->resize(half, updateButton_->height());
  fileButton_->move(updateButton_->x() + updateButton_->width() + 8, fileButton_->y());
}

void MainWindow::createSecondaryWindows() {
  overview_ = new FirmwareOverview(this);
  historyDialog_ = new HistoryDialog(this);
  reportWindow_ = new ReportWindow(this);
  messageWindow_ = new MessageWindow(this);
}

void MainWindow::showReportWhenIdle() {
  if (options().fileMode != engine::FileMode::Normal) {
    reportWindow_->dockUnder(this);
    reportWindow_->show();
  }
}

void MainWindow::readPortList() {
  const std::vector<std::string> found = environment_.readPorts ? environment_.readPorts() : ports::listLoggerPorts();
  const QString shown = portBox_->currentText();
  portBox_->clear();
  for (const std::string& port : found) portBox_->addItem(QString::fromLocal8Bit(port.c_str()));
  // The box keeps its text, also when that port is gone.
  portBox_->setEditText(shown);
}

void MainWindow::handleDeviceChange(const ports::DeviceNotification& notification) {
  if (!ports::isPortChange(notification)) return;
  readPortList();
  if (QApplication::activeWindow() == nullptr || !portBox_->isEnabled()) return;
  portBox_->hidePopup();
  portBox_->update();
  portBox_->showPopup();
}

void MainWindow::moveEvent(QMoveEvent* e) {
  QMainWindow::moveEvent(e);
  if (reportWindow_) reportWindow_->followMove(this);
}

QString MainWindow::statusText() const { return statusLabel_->text(); }

}  // namespace zorvik::ui
