// "Check port" in the "Info" menu: the doctor's checks of the port in the
// port box, run aside while the window goes on, and their findings in a
// window of their own.
#include "apps/windows/main_window.h"

#include "apps/windows/control_ids.h"
#include "session/target_description.h"

namespace zorvik::win {

void MainWindow::checkPortClicked() {
  // The entry is disabled during an update and during a check; a check and
  // an update would fight over the port.
  if (!controller_->portFree()) return;
  const std::string port = narrow(windowText(control(kIdPortBox)));
  const RECT outer = outerRect(window_);
  if (session::portLeftBlank(port)) {
    checkPortWindow_.show(window_, outer.left, outer.top, noPortText());
    return;
  }
  controller_->portCheckStarted();
  checkPortWindow_.show(window_, outer.left, outer.top, checkingText(port));
  portCheck_.start(target_, port);
}

void MainWindow::portCheckArrived(LPARAM lParam) {
  const std::unique_ptr<PortCheckResult> result = takePosted<PortCheckResult>(lParam);
  controller_->portCheckEnded();
  // A window the user closed meanwhile stays closed.
  if (result) checkPortWindow_.setText(findingsText(result->findings));
}

}  // namespace zorvik::win
