// The updates as the main window draws them: what the window controller
// asks of the window (questions, the file dialog, the pause, waiting for a
// cancelled run), the runs' events handed to it, and closing. What happens
// is the controller's decision; this file keeps Qt's side in order.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
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

QString q(const std::string& text) { return QString::fromStdString(text); }
std::string fileBytes(const QString& name) { return QFile::encodeName(name).toStdString(); }

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

bool MainWindow::ask(const session::Question& question) {
  QMessageBox box(QMessageBox::Question, "Confirm", q(question.line1) + "\n" + q(question.line2),
                  QMessageBox::NoButton, this);
  box.setTextFormat(Qt::PlainText);
  // What the answer is about, under the question as a message box puts it.
  box.setInformativeText(q(question.detail));
  QPushButton* yes = box.addButton("Yes", QMessageBox::YesRole);
  QPushButton* no = box.addButton("No", QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

std::optional<session::ChosenFile> MainWindow::chooseFile() {
  // A fresh dialog every time, starting where the last one ended: no
  // selection of an earlier showing can stand in for the user's choice.
  QFileDialog dialog(this);
  dialog.setObjectName(session::roles::kFileDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDirectory(dialogDirectory_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  dialogDirectory_ = dialog.directory().absolutePath();
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
  const QString& name = files.first();
  return session::ChosenFile{fileBytes(name), QDir::toNativeSeparators(name).toStdString(), QFileInfo::exists(name)};
}

void MainWindow::showHistory() { historyDialog_->execute(history_->table()); }

// The one version of the program, the project's as it was built.
void MainWindow::showAbout() {
  QMessageBox box(QMessageBox::Information, "About", q(session::aboutText(ZORVIK_VERSION)), QMessageBox::Ok, this);
  box.exec();
}

StationWindow* MainWindow::openStation() {
  // One station at a time, and none beside an update or a port check of the
  // window's own: both could reach for the same port.
  if (!controller_.portFree()) return nullptr;
  if (!station_) {
    StationWindowSetup setup;
    setup.watchDir = environment_.stationWatchDir;
    setup.options = options().runOptions;
    setup.sleeper = environment_.sleeper;
    setup.historyPath = environment_.historyPath;
    setup.askFirst = !options().serviceMode;
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

// ---- What the window holds ------------------------------------------------------

std::string MainWindow::portName() { return fileBytes(portBox_->currentText()); }

bool MainWindow::readInfoOnly() { return readInfoOnlyBox_->isChecked(); }

bool MainWindow::traceChecked() { return traceBox_->isChecked(); }

std::string MainWindow::pathText(const std::filesystem::path& path) {
  return QDir::toNativeSeparators(QFileInfo(path).filePath()).toStdString();
}

// ---- What the controller draws ---------------------------------------------------

void MainWindow::report(const std::string& text) { reportWindow_->add(q(text)); }

void MainWindow::clearReport() { reportWindow_->clear(); }

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

void MainWindow::showMessage(const std::string& text, session::MessageIcon icon) {
  const QRect outer = frameGeometry();
  messageWindow_->showMessage(q(text), icon, outer.left(), outer.top(), outer.width(), outer.height());
}

void MainWindow::showOverview(const std::optional<images::ImageHeader>& fileHeader) {
  const QRect outer = frameGeometry();
  overview_->execute(outer.left(), outer.top(), outer.height(), fileHeader);
}

void MainWindow::beep() { QApplication::beep(); }

void MainWindow::showControls(const session::WindowControls& controls) {
  updateButton_->setEnabled(controls.updateEnabled);
  fileButton_->setEnabled(controls.fileEnabled);
  closeButton_->setVisible(controls.closeShown);
  cancelButton_->setVisible(controls.cancelShown);
  portBox_->setEnabled(controls.portEnabled);
  fileVersionAction_->setEnabled(controls.fileVersionEnabled);
  stationAction_->setEnabled(controls.stationEnabled);
  checkPortAction_->setEnabled(controls.checkPortEnabled);
  if (controls.busyCursor && !cursorOverridden_) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!controls.busyCursor && cursorOverridden_) QApplication::restoreOverrideCursor();
  cursorOverridden_ = controls.busyCursor;
}

// ---- The event loop ---------------------------------------------------------------

void MainWindow::startPause(std::chrono::milliseconds pause) {
  // The event filter drops the input meanwhile; painting goes on.
  qApp->installEventFilter(this);
  QTimer::singleShot(pause, this, [this] { endPause(); });
}

void MainWindow::endPause() {
  qApp->removeEventFilter(this);
  controller_.pauseOver();
}

void MainWindow::processEventsLater() {
  QTimer::singleShot(0, this, [this] { controller_.processRunEvents(); });
}

void MainWindow::closeLater() {
  QTimer::singleShot(0, this, [this] { close(); });
}

void MainWindow::keepPainting() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20); }

void MainWindow::forgetRunEvents() { target_->detach(); }

// From the asking's own thread. The controller waits for that thread before
// it goes, and the window outlives the controller, so the queued call always
// has a window to go to (or is dropped with it unhandled).
void MainWindow::postTargetAnswer(const session::TargetAnswer& answer) {
  QMetaObject::invokeMethod(this, [this, answer] { controller_.targetAnswered(answer); }, Qt::QueuedConnection);
}

bool MainWindow::event(QEvent* e) {
  if (e->type() != UpdateEvent::type()) return QMainWindow::event(e);
  controller_.runEventArrived(static_cast<UpdateEvent*>(e)->event());
  return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  // During the pause only "Cancel" takes input. What reaches a window is let
  // through to be judged again at the widget it is meant for.
  if (controller_.pausing() && isInput(e->type()) && !watched->isWindowType() && watched != cancelButton_) return true;
  return QMainWindow::eventFilter(watched, e);
}

// ---- Closing --------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* e) {
  if (!controller_.closeRequested()) {
    e->ignore();
    return;
  }
  if (portCheck_) waitForPortCheck();
  if (portCheckDialog_) portCheckDialog_->close();
  e->accept();
}

}  // namespace zorvik::ui
