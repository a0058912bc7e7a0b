// The updates as the main window draws them: what the window controller
// asks of the window (questions, the file dialog, the pause, waiting for a
// cancelled run), the runs' events handed to it, and closing. What happens
// is the controller's decision; this file keeps the order of the Win32 side.
#include "apps/windows/main_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include "apps/windows/confirm_dialog.h"
#include "apps/windows/control_ids.h"

namespace zorvik::win {

// ---- What the controller asks ------------------------------------------------

bool MainWindow::ask(const session::Question& question) { return confirm(window_, question); }

std::optional<session::ChosenFile> MainWindow::chooseFile() {
  // No filter: an image file may have any name. The dialog starts where the
  // last one ended, in the program's folder the first time.
  std::wstring file(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = dialogDirectory_.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                 OFN_ENABLESIZING;
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  file.resize(wcslen(file.c_str()));
  if (file.empty()) return std::nullopt;
  dialogDirectory_ = file.substr(0, dialog.nFileOffset > 0 ? dialog.nFileOffset - 1u : 0u);
  const std::string name = narrow(file);
  return session::ChosenFile{name, name, GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES};
}

std::string MainWindow::portName() { return narrow(windowText(control(kIdPortBox))); }

bool MainWindow::readInfoOnly() { return SendMessageW(control(kIdReadInfoOnlyBox), BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool MainWindow::traceChecked() { return SendMessageW(control(kIdTraceBox), BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::string MainWindow::pathText(const std::filesystem::path& path) { return path.string(); }

// ---- What the controller draws ---------------------------------------------------

void MainWindow::report(const std::string& text) { reportWindow_->add(text); }

void MainWindow::clearReport() { reportWindow_->clear(); }

void MainWindow::setStatus(const std::string& text) {
  const std::wstring wide = widen(text);
  SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  // A text too long for the bar can be read on hover.
  SendMessageW(statusBar_, SB_SETTIPTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void MainWindow::setProgress(int percent) { SendMessageW(control(kIdProgressBar), PBM_SETPOS, static_cast<WPARAM>(percent), 0); }

void MainWindow::setLineProgress(const session::LineProgress& progress) { progressText_.show(progress.timeLeft); }

// The task-bar button belongs to the task-bar window, so the progress shows
// there while the caption stays.
void MainWindow::setTaskbarTitle(const std::string& title) { taskbar_.setTitle(widen(title)); }

void MainWindow::setCaption(const std::string& caption) { SetWindowTextW(window_, widen(caption).c_str()); }

void MainWindow::showMessage(const std::string& text, session::MessageIcon icon) {
  const RECT outer = outerRect(window_);
  messageWindow_.show(window_, text, icon, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top);
}

// The one version of the program, the project's as it was built.
void MainWindow::showAbout() {
  MessageBoxW(window_, widen(session::aboutText(ZORVIK_VERSION)).c_str(), kAboutCaption, MB_OK | MB_ICONINFORMATION);
}

void MainWindow::showOverview(const std::optional<images::ImageHeader>& fileHeader) {
  const RECT outer = outerRect(window_);
  overview_.execute(window_, outer.left, outer.top, outer.bottom - outer.top, fileHeader);
}

void MainWindow::beep() { MessageBeep(MB_OK); }

void MainWindow::showControls(const session::WindowControls& controls) {
  // An update that has ended no longer holds up the end of the Windows session.
  if (!controls.cancelShown) ShutdownBlockReasonDestroy(window_);
  // Taken first: disabling the control that has the focus takes it away.
  const HWND focus = GetFocus();
  EnableWindow(control(kIdUpdateButton), controls.updateEnabled);
  EnableWindow(control(kIdFileButton), controls.fileEnabled);
  EnableWindow(control(kIdPortBox), controls.portEnabled);
  // Shown before the other is hidden, so that the focus has somewhere to go.
  ShowWindow(control(kIdCancelButton), controls.cancelShown ? SW_SHOWNA : SW_HIDE);
  ShowWindow(control(kIdCloseButton), controls.closeShown ? SW_SHOWNA : SW_HIDE);
  const auto menuState = [](bool enabled) { return UINT{MF_BYCOMMAND} | (enabled ? UINT{MF_ENABLED} : UINT{MF_GRAYED}); };
  EnableMenuItem(infoMenu_, kIdFileVersionAction, menuState(controls.fileVersionEnabled));
  EnableMenuItem(infoMenu_, kIdCheckPortAction, menuState(controls.checkPortEnabled));
  keepFocusUsable(focus);
  busy_ = controls.busyCursor;
  if (reportWindow_) reportWindow_->setBusy(busy_);
  // The cursor changes at once where it stands over the program, not only
  // at the next mouse move.
  POINT at{};
  GetCursorPos(&at);
  if (isOurs(WindowFromPoint(at))) SetCursor(LoadCursorW(nullptr, busy_ ? IDC_WAIT : IDC_ARROW));
}

// ---- The event loop ---------------------------------------------------------------

void MainWindow::startPause(std::chrono::milliseconds pause) {
  // preTranslate drops the input meanwhile; painting and timers go on.
  SetTimer(window_, kPauseTimer, static_cast<UINT>(pause.count()), nullptr);
}

void MainWindow::pauseOver() {
  KillTimer(window_, kPauseTimer);
  controller_->pauseOver();
}

void MainWindow::processEventsLater() { PostMessageW(window_, kResumeEventsMessage, 0, 0); }

void MainWindow::closeLater() { PostMessageW(window_, WM_CLOSE, 0, 0); }

void MainWindow::keepPainting() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) DispatchMessageW(&msg);
}

void MainWindow::forgetRunEvents() { target_->detach(); }

void MainWindow::runEventArrived(LPARAM lParam) {
  std::unique_ptr<engine::RunEvent> event = takeRunEvent(lParam);
  if (event) controller_->runEventArrived(std::move(*event));
}

// From the asking's own thread, as the runs post their events: a window
// that has gone (its target detached) gets nothing.
void MainWindow::postTargetAnswer(const session::TargetAnswer& answer) {
  try {
    target_->post(kTargetAnswerMessage, 0, std::make_unique<session::TargetAnswer>(answer));
  } catch (...) {
    // Out of memory for the copy: nothing sensible is left to tell anyone,
    // and an exception must not end the program from that thread.
  }
}

void MainWindow::targetAnswerArrived(LPARAM lParam) {
  const std::unique_ptr<session::TargetAnswer> answer = takePosted<session::TargetAnswer>(lParam);
  if (answer && controller_) controller_->targetAnswered(*answer);
}

// ---- Closing --------------------------------------------------------------------

void MainWindow::closeRequested() {
  // A modal window open over this one (a question, the final message) is
  // answered first, as with any disabled window.
  if (!IsWindowEnabled(window_)) return;
  if (controller_->closeRequested()) DestroyWindow(window_);
}

// Windows asks before it logs off or shuts down. A logger stopped half-way
// through its new firmware measures nothing until an update completes, so
// during a run the window asks Windows to wait, and says why in the list
// Windows shows the user.
bool MainWindow::endSessionAllowed() {
  if (!controller_->running()) {
    ShutdownBlockReasonDestroy(window_);
    return true;
  }
  ShutdownBlockReasonCreate(window_, L"A logger's firmware is being updated. Wait for the update to finish.");
  return false;
}

// Windows ends the session all the same (the user chose to, or it forced
// it): the run stops at its next exchange and releases the port, and the
// program ends on its own terms before Windows ends it.
void MainWindow::sessionEnding() {
  controller_->abandonUpdate();
  ShutdownBlockReasonDestroy(window_);
  DestroyWindow(window_);
}

}  // namespace zorvik::win
