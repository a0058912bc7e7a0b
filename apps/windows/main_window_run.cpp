// The updates as the main window sees them: confirmation, preparation, the
// runs' events, the pause before a repeat, cancel and close. What happens is
// the session's decision; this file draws it and keeps the order of the
// Win32 side.
#include "apps/windows/main_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include "apps/windows/confirm_dialog.h"
#include "apps/windows/control_ids.h"
#include "images/image_file.h"
#include "session/image_file_failure.h"
#include "session/trace_files.h"

namespace zorvik::win {

namespace {
// Long enough for a run in the middle of an exchange to notice the cancel
// (five attempts of about 200 ms each at worst) and close the port.
constexpr DWORD kCloseWaitMs = 5000;
constexpr std::chrono::milliseconds kCloseWaitStep{20};
}  // namespace

// ---- The user's actions ------------------------------------------------------

bool MainWindow::ask(const session::Question& question) {
  ++questionDepth_;
  const bool yes = confirm(window_, question);
  --questionDepth_;
  // Events that came in while the question was open are handled next.
  PostMessageW(window_, kResumeEventsMessage, 0, 0);
  return yes;
}

void MainWindow::updateClicked() {
  if (session_->running() || checking_) return;
  if (const auto question = session::updateQuestion(options_); question && !ask(*question)) return;
  if (auto request = prepareRun({})) session_->start(std::move(*request));
}

std::wstring MainWindow::chooseFile() {
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
  ++questionDepth_;
  const BOOL picked = GetOpenFileNameW(&dialog);
  --questionDepth_;
  PostMessageW(window_, kResumeEventsMessage, 0, 0);
  if (!picked) return {};
  file.resize(wcslen(file.c_str()));
  dialogDirectory_ = file.substr(0, dialog.nFileOffset > 0 ? dialog.nFileOffset - 1u : 0u);
  return file;
}

void MainWindow::fileClicked() {
  if (session_->running() || checking_) return;
  const std::wstring fileName = chooseFile();
  if (fileName.empty()) return;
  if (auto request = prepareRun(fileName)) session_->start(std::move(*request));
}

void MainWindow::showOverview() {
  const RECT outer = outerRect(window_);
  overview_.execute(window_, outer.left, outer.top, outer.bottom - outer.top, fileHeader_);
}

void MainWindow::fileVersionClicked() {
  // The entry is disabled during an update: what it shows must not mix with a run.
  if (session_->running()) return;
  const std::wstring fileName = chooseFile();
  if (fileName.empty() || GetFileAttributesW(fileName.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  // Only the header is read, into a copy: a broken file leaves the header
  // shown so far as it was.
  ImageHeader header = fileHeader_.value_or(ImageHeader{});
  const ImageLoadResult result = readImageFileHeader(narrow(fileName), header);
  if (result != ImageLoadResult::Loaded) {
    CheckedImageFile failed;
    failed.load = result;
    showMessage(session::imageFileFailure(narrow(fileName), failed));
    return;
  }
  fileHeader_ = header;
  showOverview();
}

// The request of a new update from what the window holds; none when the
// chosen image file cannot be sent whole (the user has been told why, and
// nothing was sent: sending a built-in image instead would surprise the user,
// and a damaged file must never get as far as the logger).
std::optional<RunRequest> MainWindow::prepareRun(const std::wstring& fileName) {
  reportWindow_->clear();
  // The overview shows a file's header only until the next update.
  fileHeader_.reset();
  RunRequest request;
  request.port = narrow(windowText(control(kIdPortBox)));
  request.options = options_.runOptions;
  request.options.readInfoOnly = SendMessageW(control(kIdReadInfoOnlyBox), BM_GETCHECK, 0, 0) == BST_CHECKED;
  if (!fileName.empty()) {
    const CheckedImageFile checked = loadCheckedImageFile(narrow(fileName));
    if (!checked.file) {
      refuseRun(session::imageFileFailure(narrow(fileName), checked));
      return std::nullopt;
    }
    request.images = ImageSource(checked.file);
    fileHeader_ = checked.file->header;  // the overview shows what was sent
  }
  if (!openTrace(request)) return std::nullopt;
  return request;
}

// With "Write trace" checked, the update's bytes and events go to a new file
// in the user's trace folder, which the report names. An update that was to
// be traced does not start untraced: the trace was asked for because
// something needs looking into.
bool MainWindow::openTrace(RunRequest& request) {
  if (!options_.serviceMode || SendMessageW(control(kIdTraceBox), BM_GETCHECK, 0, 0) != BST_CHECKED) return true;
  session::OpenedTrace opened =
      session::openTraceFile(session::defaultTraceDirectory(), request.port, std::chrono::system_clock::now());
  if (!opened.trace) {
    refuseRun("Cannot write the trace: " + opened.problem);
    return false;
  }
  request.trace = std::move(opened.trace);
  report("Trace: " + opened.path.string());
  return true;
}

// An update that cannot start: the reason where the run's own would stand.
void MainWindow::refuseRun(const std::string& text) {
  report(text);
  setStatus(text);
  showMessage(text);
}

// ---- What the session draws ---------------------------------------------------

void MainWindow::report(const std::string& text) { reportWindow_->add(text); }

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

void MainWindow::showMessage(const std::string& text) {
  const RECT outer = outerRect(window_);
  messageWindow_.show(window_, text, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top);
}

void MainWindow::beep() { MessageBeep(MB_OK); }

void MainWindow::showControls(const session::Controls& controls) {
  controls_ = controls;
  // An update that has ended no longer holds up the end of the Windows session.
  if (!controls.cancelShown) ShutdownBlockReasonDestroy(window_);
  applyControls();
  busy_ = controls.busyCursor;
  if (reportWindow_) reportWindow_->setBusy(busy_);
  // The cursor changes at once where it stands over the program, not only
  // at the next mouse move.
  POINT at{};
  GetCursorPos(&at);
  if (isOurs(WindowFromPoint(at))) SetCursor(LoadCursorW(nullptr, busy_ ? IDC_WAIT : IDC_ARROW));
}

void MainWindow::applyControls() {
  // Taken first: disabling the control that has the focus takes it away.
  const HWND focus = GetFocus();
  // A port check has the port open: no update may start meanwhile, and no
  // second check. "Check port" waits for an update's end as "File version" does.
  EnableWindow(control(kIdUpdateButton), controls_.updateEnabled && !checking_);
  EnableWindow(control(kIdFileButton), controls_.fileEnabled && !checking_);
  EnableWindow(control(kIdPortBox), controls_.portEnabled);
  // Shown before the other is hidden, so that the focus has somewhere to go.
  ShowWindow(control(kIdCancelButton), controls_.cancelShown ? SW_SHOWNA : SW_HIDE);
  ShowWindow(control(kIdCloseButton), controls_.closeShown ? SW_SHOWNA : SW_HIDE);
  const auto menuState = [](bool enabled) { return UINT{MF_BYCOMMAND} | (enabled ? UINT{MF_ENABLED} : UINT{MF_GRAYED}); };
  EnableMenuItem(infoMenu_, kIdFileVersionAction, menuState(controls_.fileVersionEnabled));
  EnableMenuItem(infoMenu_, kIdCheckPortAction, menuState(controls_.fileVersionEnabled && !checking_));
  keepFocusUsable(focus);
}

void MainWindow::startPause(std::chrono::milliseconds pause) {
  // The window takes no input and handles no other event for the pause, but
  // keeps painting (preTranslate drops the input).
  pausing_ = true;
  SetTimer(window_, kPauseTimer, static_cast<UINT>(pause.count()), nullptr);
}

void MainWindow::pauseOver() {
  KillTimer(window_, kPauseTimer);
  if (!pausing_) return;
  pausing_ = false;
  session_->pauseOver();
  if (closeAfterPause_) {
    // Asked now, as the closing would have waited for the pause.
    closeAfterPause_ = false;
    PostMessageW(window_, WM_CLOSE, 0, 0);
  }
  PostMessageW(window_, kResumeEventsMessage, 0, 0);
}

// ---- Events of the runs -------------------------------------------------------

void MainWindow::runEventArrived(LPARAM lParam) {
  const std::unique_ptr<RunEvent> event = takeRunEvent(lParam);
  if (!event) return;
  pending_.push_back(std::move(*event));
  processRunEvents();
}

void MainWindow::processRunEvents() {
  if (handling_) return;  // the outer call goes on with the queue
  handling_ = true;
  while (!pending_.empty() && !pausing_ && questionDepth_ == 0 && !closing_) {
    const RunEvent event = std::move(pending_.front());
    pending_.pop_front();
    session_->handleEvent(event);
  }
  handling_ = false;
}

// ---- Closing --------------------------------------------------------------------

void MainWindow::closeRequested() {
  // A modal window open over this one (a question, the final message) is
  // answered first, as with any disabled window.
  if (closing_ || !IsWindowEnabled(window_)) return;
  if (pausing_) {
    closeAfterPause_ = true;
    return;
  }
  if (session_->running() && !ask(session::closeQuestion())) return;
  if (session_->running()) abandonUpdate();
  DestroyWindow(window_);
}

// Windows asks before it logs off or shuts down. A logger stopped half-way
// through its new firmware measures nothing until an update completes, so
// during a run the window asks Windows to wait, and says why in the list
// Windows shows the user.
bool MainWindow::endSessionAllowed() {
  if (!session_->running()) {
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
  if (session_->running()) abandonUpdate();
  ShutdownBlockReasonDestroy(window_);
  DestroyWindow(window_);
}

void MainWindow::abandonUpdate() {
  // Stop the run at its next exchange attempt and let it release the port
  // before the program goes; the window keeps painting meanwhile but
  // handles no more of its events and no input.
  closing_ = true;
  session_->cancel();
  const DWORD started = GetTickCount();
  while (!session_->waitForRun(kCloseWaitStep) && GetTickCount() - started < kCloseWaitMs) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) DispatchMessageW(&msg);
  }
  target_->detach();
  session_->abandon();
}

}  // namespace zorvik::win
