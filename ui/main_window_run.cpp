// The runs as the main window sees them: confirmation, preparation, start,
// the update thread's events, the automatic repeats, cancel and close.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "catalogue.h"
#include "event_texts.h"
#include "image_file.h"
#include "info_dialog.h"
#include "main_window.h"
#include "message_window.h"
#include "protocol_window.h"
#include "events.h"
#include "run_options.h"
#include "serial_port.h"
#include "update_event.h"

namespace zorvik::ui {

namespace {

// Long enough for a worker in the middle of an exchange to notice the cancel
// flag (five attempts of about 200 ms each at worst) and close the port.
constexpr int kCloseWaitMs = 5000;

QString q(const std::string& text) { return QString::fromStdString(text); }
std::string portBytes(const QString& port) { return QFile::encodeName(port).toStdString(); }

QString imageFileFailure(const QString& fileName, ImageLoadResult result) {
  const char* why = result == ImageLoadResult::TooLarge    ? "is too large for an image"
                    : result == ImageLoadResult::BadHeader ? "has no valid image header"
                                                           : "cannot be read";
  return QString("Aborted because image file \"%1\" %2!").arg(QDir::toNativeSeparators(fileName), why);
}

bool isInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TfrmMain::confirm(const QString& line1, const QString& line2) {
  QMessageBox box(QMessageBox::Question, "Confirm", line1 + "\n" + line2, QMessageBox::NoButton, this);
  QPushButton* yes = box.addButton("Yes", QMessageBox::YesRole);
  QPushButton* no = box.addButton("No", QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  ++FQuestionDepth;
  box.exec();
  --FQuestionDepth;
  const bool confirmed = box.clickedButton() == yes;
  // Events that came in while the question was open are handled now.
  QTimer::singleShot(0, this, [this] { processUpdateEvents(); });
  return confirmed;
}

bool TfrmMain::confirmUpdate() {
  if (FOptions.memoryFormat) return confirm("This update clears all measurements!", "Do you really continue ?");
  if (FOptions.fileMode >= 1) return true;
  return confirm("Do you save your measurements ?", "Do you really continue without saving ?");
}

void TfrmMain::btnProgClick() {
  if (FRunning || !confirmUpdate()) return;
  if (prepareRun(QString())) startRun(tCMD0);
}

QString TfrmMain::chooseFile() {
  // A fresh dialog every time, starting where the last one ended: no
  // selection of an earlier showing can stand in for the user's choice.
  QFileDialog dialog(this);
  dialog.setObjectName("OpenDialog1");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDirectory(FDialogDirectory);
  if (dialog.exec() != QDialog::Accepted) return {};
  FDialogDirectory = dialog.directory().absolutePath();
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

void TfrmMain::btnFileClick() {
  if (FRunning) return;
  const QString fileName = chooseFile();
  if (fileName.isEmpty()) return;
  if (prepareRun(fileName)) startRun(tCMD0);
}

void TfrmMain::btnCancelClick() { CancelRequested = true; }

void TfrmMain::menInfoFirmwareClick() {
  const QRect outer = frameGeometry();
  FfrmInfo->Execute(outer.left(), outer.top(), outer.width() * 3 / 2, outer.height());
}

void TfrmMain::menInfoFileClick() {
  // The entry is disabled during a run: the run's image choice must not change.
  if (FRunning) return;
  const QString fileName = chooseFile();
  if (fileName.isEmpty() || !QFileInfo::exists(fileName)) return;
  // Only the header is read; the fields read before a bad line keep their values.
  const ImageLoadResult result = ReadImageFileHeader(QFile::encodeName(fileName).toStdString(), ExternalImageHeader);
  if (result != ImageLoadResult::Loaded) {
    showMessage(imageFileFailure(fileName, result));
    return;
  }
  SelectedImage = 0;
  menInfoFirmwareClick();
}

bool TfrmMain::prepareRun(const QString& fileName) {
  FfrmProtocol->Clear();
  SelectedImage = -1;
  FMemory = std::make_shared<UpdateMemory>();  // a new update: nothing carried from the last one
  if (!fileName.isEmpty()) {
    const ImageLoadResult result = LoadImageFile(QFile::encodeName(fileName).toStdString());
    if (result != ImageLoadResult::Loaded) {
      // Sending a built-in image instead of the chosen file would surprise the
      // user: the run does not start.
      const QString text = imageFileFailure(fileName, result);
      report(text);
      setStatus(text);
      showMessage(text);
      return false;
    }
  }
  FPort = cbxPort->currentText();
  return true;
}

void TfrmMain::startRun(TCmd cmd) { startRun(cmd, false); }

// `cancelled`: the cancel flag the new worker starts with. Only the repeat
// after "no answer" passes true, when Cancel was pressed while the failed run
// was ending; it is set before the worker exists, so the worker's very first
// exchange attempt sees it.
void TfrmMain::startRun(TCmd cmd, bool cancelled) {
  const QString text = q(startText(cbxPort->currentText().toStdString()));
  report(text);
  setStatus(text);
  ReadInfoOnly = chkReadInfoOnly->isChecked();
  ProgressBar1->setValue(0);
  setRunningState(true);
  CancelRequested = cancelled;
  try {
    TCommThread::Create(RunContext{std::make_shared<QtEventSink>(FTarget), FMemory,
                                   FEnvironment.sleeper ? FEnvironment.sleeper : &realSleeper()},
                        cmd, portBytes(FPort));
    FRunning = true;
  } catch (const std::exception&) {
    // No thread could be had: the run ends as any other failure would.
    HandleUpdateEvent(10, 0);
  }
}

void TfrmMain::endRun() {
  setRunningState(false);
  FRunning = false;
  setWindowTitle(kAppTitle);
}

void TfrmMain::setRunningState(bool running) {
  btnProg->setEnabled(!running);
  btnFile->setEnabled(!running);
  btnClose->setVisible(!running);
  btnCancel->setVisible(running);
  cbxPort->setEnabled(!running);
  menInfoFile->setEnabled(!running);
  if (running && !FCursorOverridden) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!running && FCursorOverridden) QApplication::restoreOverrideCursor();
  FCursorOverridden = running;
}

bool TfrmMain::event(QEvent* e) {
  if (e->type() != TUpdateEvent::type()) return QMainWindow::event(e);
  const auto* update = static_cast<TUpdateEvent*>(e);
  FPending.emplace_back(update->code(), update->value());
  processUpdateEvents();
  return true;
}

void TfrmMain::processUpdateEvents() {
  if (FHandling) return;  // the outer call goes on with the queue
  FHandling = true;
  while (!FPending.empty() && !FPausing && FQuestionDepth == 0 && !FClosing) {
    const auto [code, value] = FPending.front();
    FPending.pop_front();
    HandleUpdateEvent(code, value);
  }
  FHandling = false;
}

void TfrmMain::HandleUpdateEvent(std::uint32_t code, std::int32_t value) {
  const EventPresentation p = presentEvent(code, value, cbxPort->currentText().toStdString());
  const QString text = q(p.text);
  if (p.progress >= 0) ProgressBar1->setValue(p.progress);
  if (p.endRun) endRun();
  if (p.beep) QApplication::beep();
  if (p.progressTitle) setWindowTitle(QString("%1%").arg(ProgressBar1->value()));
  if (p.status && p.statusFirst) setStatus(text);
  if (p.report) report(text);
  if (code == kEvError && value == kErrPortNotReady) reportOpenFailureHint();
  if (p.status && !p.statusFirst) setStatus(text);
  if (p.repeat == RepeatKind::AtOnce) startRun(tCMD0);
  if (p.repeat == RepeatKind::AfterPause) beginRepeatPause(static_cast<TCmd>(value & 0xFF));
  if (p.message) showMessage(text);
}

// The "not ready" text cannot tell a missing port from one the user may not
// open; where the system knows, a second line names the fix.
void TfrmMain::reportOpenFailureHint() {
  const std::string hint = rs232OpenFailureHint(FPort.toStdString());
  if (!hint.empty()) report(q(hint));
}

void TfrmMain::beginRepeatPause(TCmd cmd) {
  // The failed worker has posted its last event; the window stays in its
  // running state, takes no input and handles no other event for the pause,
  // but keeps painting.
  FRunning = true;
  FSavedCancel = CancelRequested.load();
  FPausing = true;
  qApp->installEventFilter(this);
  QTimer::singleShot(kRepeatPauseMs, this, [this, cmd] { endRepeatPause(cmd); });
}

void TfrmMain::endRepeatPause(TCmd cmd) {
  qApp->removeEventFilter(this);
  FPausing = false;
  // A cancel asked for while the failed run was ending stops the new run at
  // its first exchange attempt.
  startRun(cmd, FSavedCancel);
  if (FCloseAfterPause) {
    FCloseAfterPause = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
  QTimer::singleShot(0, this, [this] { processUpdateEvents(); });
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* e) {
  if (FPausing && isInput(e->type())) return true;
  return QMainWindow::eventFilter(watched, e);
}

void TfrmMain::closeEvent(QCloseEvent* e) {
  if (FPausing) {
    // Asked again when the pause is over, as the closing would have waited.
    FCloseAfterPause = true;
    e->ignore();
    return;
  }
  if (FRunning && !confirm("The update is not finished!", "Do you really close the program ?")) {
    e->ignore();
    return;
  }
  if (FRunning) abandonRun();
  e->accept();
}

void TfrmMain::abandonRun() {
  // Stop the worker at its next exchange attempt and let it release the port
  // before the program goes; the window keeps painting meanwhile but handles
  // no more of its events.
  FClosing = true;
  CancelRequested = true;
  QElapsedTimer waited;
  waited.start();
  while (!waitForWorkers(std::chrono::milliseconds(20)) && waited.elapsed() < kCloseWaitMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
  }
  FTarget->detach();
  endRun();
}

}  // namespace zorvik::ui
