// "Info" -> "Check port": the port doctor's checks of the port in the port
// box, run beside the window and shown in their own dialog. While a check
// runs no update starts, and none of the window's updates runs beside one.
#include <QCoreApplication>
#include <QComboBox>
#include <QFile>
#include <chrono>
#include <thread>

#include "ui/main_window.h"
#include "ui/port_check.h"
#include "ui/port_check_dialog.h"

namespace zorvik::ui {

PortCheckDialog* MainWindow::portCheckDialog() const { return portCheckDialog_; }

void MainWindow::checkPortClicked() {
  if (!controller_.portFree()) return;
  if (!portCheckDialog_) {
    portCheckDialog_ = new PortCheckDialog(this);
    portCheckDialog_->setAttribute(Qt::WA_DeleteOnClose);
  }
  portCheckDialog_->show();
  portCheckDialog_->raise();
  portCheckDialog_->activateWindow();
  const QString port = portBox_->currentText();
  if (port.trimmed().isEmpty()) {
    portCheckDialog_->showNoPort();
    return;
  }
  portCheckDialog_->showChecking(port);
  portCheck_ = std::make_unique<PortCheck>(QFile::encodeName(port).toStdString(), this,
                                           [this](const PortCheck::Findings& findings) { portCheckDone(findings); });
  controller_.portCheckStarted();
}

// On the window's thread. A dialog closed during the check is gone; its
// findings have nowhere to go.
void MainWindow::portCheckDone(const std::vector<diagnostics::Finding>& findings) {
  portCheck_.reset();  // the thread has posted this and is ending
  controller_.portCheckEnded();
  if (portCheckDialog_) portCheckDialog_->showFindings(findings);
}

// The check is bounded (the wake-up exchange gives up within seconds), so the
// window waits for it, painting, until its findings have come in.
void MainWindow::waitForPortCheck() {
  while (portCheck_) {
    const bool finished = portCheck_->finished();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    if (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace zorvik::ui
