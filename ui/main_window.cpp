// Construction of the main window: controls, menu, start-up options, layout
// by mode, the secondary windows, the port list and the docking.
#include "main_window.h"

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

#include "event_texts.h"
#include "info_dialog.h"
#include "message_window.h"
#include "port_watcher.h"
#include "protocol_window.h"
#include "update_event.h"
#include "window_options.h"

namespace zorvik::ui {

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
}  // namespace

TfrmMain::TfrmMain(const QStringList& arguments, Environment environment)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      FEnvironment(std::move(environment)),
      FMemory(std::make_shared<UpdateMemory>()),
      FTarget(std::make_shared<EventTarget>(this)) {
  setObjectName("frmMain");
  setFont(QFont("Microsoft Sans Serif", 8));
  createControls();
  createMenu();
  FormCreate(arguments);
  InitForms();
  if (FEnvironment.watchDevices) {
    FPortWatcher = new PortWatcher([this](const DeviceNotification& n) { HandleDeviceChange(n); }, this);
  }
  QTimer::singleShot(0, this, [this] { ApplicationEvents1Idle(); });
}

TfrmMain::~TfrmMain() {
  FTarget->detach();
  if (FPausing) qApp->removeEventFilter(this);
  if (FCursorOverridden) QApplication::restoreOverrideCursor();
}

void TfrmMain::createControls() {
  Panel1 = named(new QWidget(this), "Panel1");
  Panel1->setFixedSize(kClientWidth, kPanelHeight);
  setCentralWidget(Panel1);

  auto* bevel = named(new QFrame(Panel1), "Bevel1");
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(0, 0, kClientWidth, 8);
  // Designed 42 x 13 for its original font; a wider substitute font gets the
  // room up to the port box, so the caption is never cut.
  auto* label = named(new QLabel("Comport:", Panel1), "Label1");
  const QSize hint = label->sizeHint();
  label->setGeometry(13, 14, std::clamp(hint.width(), 42, 62), std::max(hint.height(), 13));

  cbxPort = named(new QComboBox(Panel1), "cbxPort");
  cbxPort->setEditable(true);
  cbxPort->setInsertPolicy(QComboBox::NoInsert);
  cbxPort->setGeometry(77, 11, 263, 21);
  ProgressBar1 = named(new QProgressBar(Panel1), "ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setGeometry(13, 46, 327, 26);
  btnProg = named(new QPushButton("Update", Panel1), "btnProg");
  btnProg->setGeometry(40, 86, 113, 32);
  btnCancel = named(new QPushButton("Cancel", Panel1), "btnCancel");
  btnCancel->setGeometry(200, 86, 111, 32);
  btnCancel->setVisible(false);
  btnClose = named(new QPushButton("Close", Panel1), "btnClose");
  btnClose->setGeometry(200, 86, 111, 32);
  btnFile = named(new QPushButton("File", Panel1), "btnFile");
  btnFile->setGeometry(101, 86, 52, 32);
  chkReadInfoOnly = named(new QCheckBox("Read info only", Panel1), "chkReadInfoOnly");
  chkReadInfoOnly->setGeometry(26, 134, 116, 14);

  setTabOrder(cbxPort, btnProg);
  setTabOrder(btnProg, btnCancel);
  setTabOrder(btnCancel, btnClose);
  setTabOrder(btnClose, btnFile);
  setTabOrder(btnFile, chkReadInfoOnly);

  QStatusBar* bar = named(new QStatusBar(this), "StatusBar1");
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusBarHeight);
  StatusText = named(new QLabel(bar), "StatusText");
  StatusText->setContentsMargins(2, 0, 2, 0);
  bar->addWidget(StatusText, 1);
  setStatusBar(bar);

  connect(btnProg, &QPushButton::clicked, this, [this] { btnProgClick(); });
  connect(btnFile, &QPushButton::clicked, this, [this] { btnFileClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { close(); });
}

void TfrmMain::createMenu() {
  QMenuBar* bar = named(new QMenuBar(this), "MainMenu1");
  setMenuBar(bar);
  QMenu* menInfo = named(bar->addMenu(QString()), "menInfo");
  menInfoFirmware = named(menInfo->addAction("Firmware"), "menInfoFirmware");
  menInfoFile = named(menInfo->addAction("File version"), "menInfoFile");
  named(menInfo->addSeparator(), "N1");
  menFileExit = named(menInfo->addAction("Exit"), "menFileExit");
  connect(menInfoFirmware, &QAction::triggered, this, [this] { menInfoFirmwareClick(); });
  connect(menInfoFile, &QAction::triggered, this, [this] { menInfoFileClick(); });
  connect(menFileExit, &QAction::triggered, this, [this] { close(); });
}

void TfrmMain::FormCreate(const QStringList& arguments) {
  setWindowTitle(kAppTitle);
  menuBar()->findChild<QMenu*>("menInfo")->setTitle(kMenuCaption);
  // The confirmation texts are fixed in confirm(); nothing of the toolkit's
  // own language reaches them.
  FDialogDirectory = QCoreApplication::applicationDirPath();
  FOptions = ReadWindowOptions(arguments);
  chkReadInfoOnly->setChecked(false);
  chkReadInfoOnly->setVisible(FOptions.internalMode);
  layoutForFileMode();
  // The panel and the status bar make up the client area; the menu bar sits
  // above it inside the Qt window.
  setFixedSize(kClientWidth, menuBar()->sizeHint().height() + kPanelHeight + kStatusBarHeight);
  readPortList();
  if (cbxPort->count() > 0) cbxPort->setCurrentIndex(0);
  setStatus(FOptions.memoryFormat ? "F" : "");
  endRun();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void TfrmMain::layoutForFileMode() {
  const bool fileMode = FOptions.fileMode == 2;
  menInfoFile->setVisible(fileMode);
  btnFile->setVisible(fileMode);
  if (!fileMode) {
    btnProg->resize(btnClose->width(), btnProg->height());
    return;
  }
  const int half = btnClose->width() / 2;
  btnFile->resize(half, btnFile->height());
  btnProg->resize(half, btnProg->height());
  btnFile->move(btnProg->x() + btnProg->width() + 8, btnFile->y());
}

void TfrmMain::InitForms() {
  FfrmInfo = new TfrmInfo(this);
  FfrmProtocol = new TfrmProtocol(this);
  FfrmMessage = new TfrmMessage(this);
}

void TfrmMain::ApplicationEvents1Idle() {
  if (FOptions.fileMode > 0) {
    FfrmProtocol->dockUnder(this);
    FfrmProtocol->show();
  }
}

void TfrmMain::readPortList() {
  const std::vector<std::string> ports = FEnvironment.readPorts ? FEnvironment.readPorts() : ReadSerialPorts();
  const QString shown = cbxPort->currentText();
  cbxPort->clear();
  for (const std::string& port : ports) cbxPort->addItem(QString::fromLocal8Bit(port.c_str()));
  // The box keeps its text, also when that port is gone.
  cbxPort->setEditText(shown);
}

void TfrmMain::HandleDeviceChange(const DeviceNotification& notification) {
  if (!IsPortChange(notification)) return;
  readPortList();
  if (QApplication::activeWindow() == nullptr || !cbxPort->isEnabled()) return;
  cbxPort->hidePopup();
  cbxPort->update();
  cbxPort->showPopup();
}

void TfrmMain::moveEvent(QMoveEvent* e) {
  QMainWindow::moveEvent(e);
  if (FfrmProtocol) FfrmProtocol->followMove(this);
}

void TfrmMain::report(const QString& text) { FfrmProtocol->Add(text); }

void TfrmMain::setStatus(const QString& text) {
  StatusText->setText(text);
  statusBar()->setToolTip(text);  // a text too long for the bar can be read on hover
}

QString TfrmMain::statusText() const { return StatusText->text(); }

void TfrmMain::showMessage(const QString& text) {
  const QRect outer = frameGeometry();
  FfrmMessage->showMsg(text, outer.left(), outer.top(), outer.width(), outer.height());
}

}  // namespace zorvik::ui
