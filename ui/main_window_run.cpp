// The updates as the main window sees them: confirmation, preparation, the
// runs' events, the pause before a repeat, cancel and close. What happens is
// the session's decision; this file draws it and keeps Qt's side in order.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "engine/event_texts.h"
#include "images/image_file.h"
#include "session/image_file_failure.h"
#include "session/trace_files.h"
#include "session/widget_roles.h"
#include "ui/firmware_overview.h"
#include "ui/history_dialog.h"
#include "ui/main_window.h"
#include "ui/message_window.h"
#include "ui/port_check.h"
#include "ui/port_check_dialog.h"
#include "ui/report_window.h"
#include "ui/station_window.h"
#include "ui/update_event.h"
#include "ui/window_history.h"

namespace zorvik::ui {

namespace {

// Long enough for a run in the middle of an exchange to notice the cancel
// (five attempts of about 200 ms each at worst) and close the port.
constexpr int kCloseWaitMs = 5000;

QString q(const std::string& text) { return QString::fromStdString(text); }
std::string fileBytes(const QString& name) { return QFile::encodeName(name).toStdString(); }

QString imageFileFailure(const QString& fileName, const CheckedImageFile& checked) {
  return q(session::imageFileFailure(QDir::toNativeSeparators(fileName).toStdString(), checked));
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

// ---- The user's actions ------------------------------------------------------

bool MainWindow::confirm(const session::Question& question) {
  QMessageBox box(QMessageBox::Question, "Confirm", q(question.line1) + "\n" + q(question.line2),
                  QMessageBox::NoButton, this);
  QPushButton* yes = box.addButton("Yes", QMessageBox::YesRole);
  QPushButton* no = box.addButton("No", QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  ++questionDepth_;
  box.exec();
  --questionDepth_;
  const bool confirmed = box.clickedButton() == yes;
  // Events that came in while the question was open are handled now.
  QTimer::singleShot(0, this, [this] { processUpdateEvents(); });
  return confirmed;
}

void MainWindow::updateClicked() {
  if (!portFree()) return;
  if (const auto question = session::updateQuestion(options_); question && !confirm(*question)) return;
  if (auto request = prepareRun(QString())) session_.start(std::move(*request));
}

QString MainWindow::chooseFile() {
  // A fresh dialog every time, starting where the last one ended: no
  // selection of an earlier showing can stand in for the user's choice.
  QFileDialog dialog(this);
  dialog.setObjectName(session::roles::kFileDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDirectory(dialogDirectory_);
  if (dialog.exec() != QDialog::Accepted) return {};
  dialogDirectory_ = dialog.directory().absolutePath();
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

void MainWindow::fileClicked() {
  if (!portFree()) return;
  const QString fileName = chooseFile();
  if (fileName.isEmpty()) return;
  if (auto request = prepareRun(fileName)) session_.start(std::move(*request));
}

void MainWindow::cancelClicked() { session_.cancel(); }

void MainWindow::showOverview() {
  const QRect outer = frameGeometry();
  overview_->execute(outer.left(), outer.top(), outer.height(), fileHeader_);
}

void MainWindow::showHistory() { historyDialog_->execute(history_->table()); }

StationWindow* MainWindow::openStation() {
  // One station at a time, and none beside an update or a port check of the
  // window's own: both could reach for the same port.
  if (!portFree()) return nullptr;
  if (!station_) {
    StationWindowSetup setup;
    setup.watchDir = environment_.stationWatchDir;
    setup.options = options_.runOptions;
    setup.sleeper = environment_.sleeper;
    setup.historyPath = environment_.historyPath;
    station_ = new StationWindow(this, std::move(setup));
    station_->setAttribute(Qt::WA_DeleteOnClose);
    // The main window takes no input while the station runs.
    station_->setWindowModality(Qt::ApplicationModal);
  }
  station_->show();
  station_->raise();
  station_->activateWindow();
  return station_;
}

void MainWindow::fileVersionClicked() {
  // The entry is disabled during an update: what it shows must not mix with a run.
  if (session_.running()) return;
  const QString fileName = chooseFile();
  if (fileName.isEmpty() || !QFileInfo::exists(fileName)) return;
  // Only the header is read, into a copy: a broken file leaves the header
  // shown so far as it was.
  ImageHeader header = fileHeader_.value_or(ImageHeader{});
  const ImageLoadResult result = readImageFileHeader(fileBytes(fileName), header);
  if (result != ImageLoadResult::Loaded) {
    CheckedImageFile failed;
    failed.load = result;
    showMessage(imageFileFailure(fileName, failed).toStdString());
    return;
  }
  fileHeader_ = header;
  showOverview();
}

// The request of a new update from what the window holds; none when the
// chosen image file cannot be sent whole (the user has been told why, and
// nothing was sent: sending a built-in image instead would surprise the user,
// and a damaged file must never get as far as the logger).
std::optional<RunRequest> MainWindow::prepareRun(const QString& fileName) {
  reportWindow_->clear();
  // The overview shows a file's header only until the next update.
  fileHeader_.reset();
  RunRequest request;
  request.port = fileBytes(portBox_->currentText());
  request.options = options_.runOptions;
  request.options.readInfoOnly = readInfoOnlyBox_->isChecked();
  if (environment_.sleeper) request.sleeper = environment_.sleeper;
  if (!fileName.isEmpty()) {
    const CheckedImageFile checked = loadCheckedImageFile(fileBytes(fileName));
    if (!checked.file) {
      refuseRun(imageFileFailure(fileName, checked).toStdString());
      return std::nullopt;
    }
    request.images = ImageSource(checked.file);
    fileHeader_ = checked.file->header;  // the overview shows what was sent
  }
  // Opened last: a file refused above leaves no empty trace behind.
  if (traceBox_->isChecked() && !openTrace(request)) return std::nullopt;
  return request;
}

// A new trace file for this update; all its runs (the repeats too) write
// into it. The user asked for a record of this update: when none can be
// written, the update does not start, rather than run unrecorded.
bool MainWindow::openTrace(RunRequest& request) {
  const std::filesystem::path directory =
      environment_.traceDirectory.empty() ? session::defaultTraceDirectory() : environment_.traceDirectory;
  const session::OpenedTrace opened =
      session::openTraceFile(directory, request.port, std::chrono::system_clock::now());
  if (!opened.trace) {
    refuseRun("Cannot write the trace: " + opened.problem);
    return false;
  }
  request.trace = opened.trace;
  report("Trace: " + QDir::toNativeSeparators(QFileInfo(opened.path).filePath()).toStdString());
  return true;
}

// Why an update was not started, told everywhere a run's end would be.
void MainWindow::refuseRun(const std::string& text) {
  report(text);
  setStatus(text);
  showMessage(text);
}

// ---- What the session draws ---------------------------------------------------

void MainWindow::report(const std::string& text) { reportWindow_->add(q(text)); }

void MainWindow::setStatus(const std::string& text) {
  statusLabel_->setText(q(text));
  statusBar()->setToolTip(q(text));  // a text too long for the bar can be read on hover
}

void MainWindow::setProgress(int percent) { progressBar_->setValue(percent); }

// The time left is the bar's own text: the status bar, the report and the
// title keep their texts as they always were.
void MainWindow::setLineProgress(const session::LineProgress& progress) {
  const bool told = progress.timeLeft.has_value();
  progressBar_->setFormat(told ? q(session::timeLeftText(*progress.timeLeft)) : QString());
  progressBar_->setTextVisible(told);
}

// Qt on Linux has one title for the window and its task-bar entry; the
// progress goes there, as the caption is set to the same text at idle.
void MainWindow::setTaskbarTitle(const std::string& title) { setWindowTitle(q(title)); }

void MainWindow::showMessage(const std::string& text) {
  const QRect outer = frameGeometry();
  messageWindow_->showMessage(q(text), outer.left(), outer.top(), outer.width(), outer.height());
}

void MainWindow::beep() { QApplication::beep(); }

void MainWindow::showControls(const session::Controls& controls) {
  // A port check and an update (or the station) must not both reach for the port.
  const bool noCheck = !portCheck_;
  updateButton_->setEnabled(controls.updateEnabled && noCheck);
  fileButton_->setEnabled(controls.fileEnabled && noCheck);
  closeButton_->setVisible(controls.closeShown);
  cancelButton_->setVisible(controls.cancelShown);
  portBox_->setEnabled(controls.portEnabled);
  fileVersionAction_->setEnabled(controls.fileVersionEnabled);
  stationAction_->setEnabled(controls.updateEnabled && noCheck);
  checkPortAction_->setEnabled(controls.updateEnabled && noCheck);
  if (controls.busyCursor && !cursorOverridden_) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!controls.busyCursor && cursorOverridden_) QApplication::restoreOverrideCursor();
  cursorOverridden_ = controls.busyCursor;
}

void MainWindow::startPause(std::chrono::milliseconds pause) {
  // The window takes no input and handles no other event for the pause, but
  // keeps painting.
  pausing_ = true;
  qApp->installEventFilter(this);
  QTimer::singleShot(pause, this, [this] { endPause(); });
}

void MainWindow::endPause() {
  qApp->removeEventFilter(this);
  pausing_ = false;
  session_.pauseOver();
  if (closeAfterPause_) {
    closeAfterPause_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
  }
  QTimer::singleShot(0, this, [this] { processUpdateEvents(); });
}

// ---- Events of the runs -------------------------------------------------------

bool MainWindow::event(QEvent* e) {
  if (e->type() != UpdateEvent::type()) return QMainWindow::event(e);
  pending_.push_back(static_cast<UpdateEvent*>(e)->event());
  processUpdateEvents();
  return true;
}

void MainWindow::processUpdateEvents() {
  if (handling_) return;  // the outer call goes on with the queue
  handling_ = true;
  while (!pending_.empty() && !pausing_ && questionDepth_ == 0 && !closing_) {
    const RunEvent event = std::move(pending_.front());
    pending_.pop_front();
    session_.handleEvent(event);
  }
  handling_ = false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  if (pausing_ && isInput(e->type())) return true;
  return QMainWindow::eventFilter(watched, e);
}

// ---- Closing --------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* e) {
  if (pausing_) {
    // Asked again when the pause is over, as the closing would have waited.
    closeAfterPause_ = true;
    e->ignore();
    return;
  }
  if (session_.running() && !confirm(session::closeQuestion())) {
    e->ignore();
    return;
  }
  if (session_.running()) abandonUpdate();
  if (portCheck_) waitForPortCheck();
  if (portCheckDialog_) portCheckDialog_->close();
  e->accept();
}

void MainWindow::abandonUpdate() {
  // Stop the run at its next exchange attempt and let it release the port
  // before the program goes; the window keeps painting meanwhile but handles
  // no more of its events.
  closing_ = true;
  session_.cancel();
  QElapsedTimer waited;
  waited.start();
  while (!session_.waitForRun(std::chrono::milliseconds(20)) && waited.elapsed() < kCloseWaitMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
  }
  target_->detach();
  session_.abandon();
}

}  // namespace zorvik::ui
