#include "session/window_controller.h"

#include "engine/event_texts.h"
#include "engine/update_error.h"
#include "images/image_file.h"
#include "session/image_file_failure.h"
#include "session/trace_files.h"

namespace zorvik::session {

namespace {
// How long each wait for a cancelled run lasts before the window paints again.
constexpr std::chrono::milliseconds kCloseWaitStep{20};
}  // namespace

WindowControls windowControls(const Controls& session, bool checkingPort) {
  WindowControls c;
  c.updateEnabled = session.updateEnabled && !checkingPort;
  c.fileEnabled = session.fileEnabled && !checkingPort;
  c.fileVersionEnabled = session.fileVersionEnabled;
  c.portEnabled = session.portEnabled;
  // The station and a second check would reach for ports as an update does.
  c.stationEnabled = session.updateEnabled && !checkingPort;
  c.checkPortEnabled = session.updateEnabled && !checkingPort;
  c.cancelShown = session.cancelShown;
  c.closeShown = session.closeShown;
  c.busyCursor = session.busyCursor;
  return c;
}

std::string messageText(const std::string& text, const Explanation& why) {
  if (why.empty()) return text;
  return text + "\n\nCause: " + why.reason + "\nFix: " + why.fix;
}

std::string aboutText(const std::string& version) { return std::string(engine::kAppTitle) + "\nVersion " + version; }

WindowController::WindowController(WindowView& view, WindowSetup setup)
    : view_(view), setup_(std::move(setup)), session_(*this, setup_.session) {}

void WindowController::showIdle() {
  view_.setStatus(setup_.options.memoryFormat ? "F" : "");
  session_.showIdle();
}

// ---- The user's actions ------------------------------------------------------

bool WindowController::ask(const Question& question) {
  ++questionDepth_;
  const bool yes = view_.ask(question);
  --questionDepth_;
  // Events that came in while the question was open are handled next.
  view_.processEventsLater();
  return yes;
}

std::optional<ChosenFile> WindowController::chooseFile() {
  ++questionDepth_;
  std::optional<ChosenFile> file = view_.chooseFile();
  --questionDepth_;
  view_.processEventsLater();
  if (file && file->path.empty()) return std::nullopt;
  return file;
}

void WindowController::updateClicked() {
  if (!portFree()) return;
  if (const auto question = updateQuestion(setup_.options); question && !ask(*question)) return;
  if (auto request = prepareRun(std::nullopt)) session_.start(std::move(*request));
}

void WindowController::fileClicked() {
  if (!portFree()) return;
  const std::optional<ChosenFile> file = chooseFile();
  if (!file) return;
  if (auto request = prepareRun(file)) session_.start(std::move(*request));
}

void WindowController::cancelClicked() {
  if (!session_.running()) return;
  // No run is under way in the pause to notice the cancel: without this the
  // repeat would start, and with it the port would be opened again only to
  // find the cancel (or, for a port gone meanwhile, to fail otherwise).
  if (pausing_) cancelAfterPause_ = true;
  session_.cancel();
}

void WindowController::firmwareClicked() { view_.showOverview(fileHeader_); }

void WindowController::fileVersionClicked() {
  // The entry is disabled during an update: what it shows must not mix with a run.
  if (session_.running()) return;
  const std::optional<ChosenFile> file = chooseFile();
  if (!file || !file->exists) return;
  // Only the header is read, into a copy: a broken file leaves the header
  // shown so far as it was.
  images::ImageHeader header = fileHeader_.value_or(images::ImageHeader{});
  const images::ImageLoadResult result = readImageFileHeader(file->path, header);
  if (result != images::ImageLoadResult::Loaded) {
    images::CheckedImageFile failed;
    failed.load = result;
    view_.showMessage(imageFileFailure(file->shownName, failed), MessageIcon::Warning);
    return;
  }
  fileHeader_ = header;
  view_.showOverview(fileHeader_);
}

// The request of a new update from what the window holds; none when the
// chosen image file cannot be sent whole (the user has been told why, and
// nothing was sent: sending a built-in image instead would surprise the user,
// and a damaged file must never get as far as the logger).
std::optional<engine::RunRequest> WindowController::prepareRun(const std::optional<ChosenFile>& file) {
  view_.clearReport();
  // The overview shows a file's header only until the next update.
  fileHeader_.reset();
  engine::RunRequest request;
  request.port = view_.portName();
  request.options = setup_.options.runOptions;
  request.options.readInfoOnly = view_.readInfoOnly();
  if (setup_.sleeper) request.sleeper = setup_.sleeper;
  if (file) {
    const images::CheckedImageFile checked = images::loadCheckedImageFile(file->path);
    if (!checked.file) {
      refuseRun(imageFileFailure(file->shownName, checked));
      return std::nullopt;
    }
    request.images = images::ImageSource(checked.file);
    fileHeader_ = checked.file->header;  // the overview shows what was sent
  }
  // Opened last: a file refused above leaves no empty trace behind.
  if (!openTrace(request)) return std::nullopt;
  return request;
}

// With "Write trace" (service staff only), all runs of the update (the
// repeats too) write into a new file in the trace folder, which the report
// names. The user asked for a record of this update because something needs
// looking into: when none can be written, the update does not start, rather
// than run unrecorded.
bool WindowController::openTrace(engine::RunRequest& request) {
  if (!setup_.options.serviceMode || !view_.traceChecked()) return true;
  const std::filesystem::path directory =
      setup_.traceDirectory.empty() ? defaultTraceDirectory() : setup_.traceDirectory;
  OpenedTrace opened = openTraceFile(directory, request.port, std::chrono::system_clock::now());
  if (!opened.trace) {
    refuseRun("Cannot write the trace: " + opened.problem);
    return false;
  }
  request.trace = std::move(opened.trace);
  view_.report("Trace: " + view_.pathText(opened.path));
  return true;
}

// Why an update was not started, told everywhere a run's end would be.
void WindowController::refuseRun(const std::string& text) {
  view_.report(text);
  view_.setStatus(text);
  view_.showMessage(text, MessageIcon::Warning);
}

// ---- The port check and the controls ----------------------------------------------

void WindowController::portCheckStarted() {
  checkingPort_ = true;
  drawControls();
}

void WindowController::portCheckEnded() {
  checkingPort_ = false;
  drawControls();
}

void WindowController::showControls(const Controls& controls) {
  sessionControls_ = controls;
  drawControls();
}

// ---- The final message ------------------------------------------------------------

void WindowController::eventArrived(const engine::RunEvent& event, const engine::EventPresentation&) {
  explanation_ = {};
  const bool cancelled = event.code == engine::kEvError && event.value == engine::errorValue(engine::ErrorCode::Cancelled);
  const bool readInfo = event.code == engine::kEvError && event.value == engine::errorValue(engine::ErrorCode::InfoOnly);
  eventFailed_ = event.code != engine::kEvSuccess && !cancelled && !readInfo;
}

// The report keeps its line after the error, as ever; the message, which
// every user sees, gets the same cause and fix under its text.
void WindowController::explain(const std::string& reason, const std::string& fix) {
  SessionView::explain(reason, fix);
  explanation_ = {reason, fix};
}

void WindowController::showMessage(const std::string& text) {
  view_.showMessage(messageText(text, explanation_), eventFailed_ ? MessageIcon::Warning : MessageIcon::Information);
  explanation_ = {};
}

void WindowController::drawControls() { view_.showControls(windowControls(sessionControls_, checkingPort_)); }

// ---- Events of the runs and the pause ----------------------------------------------

void WindowController::runEventArrived(engine::RunEvent event) {
  pending_.push_back(std::move(event));
  processRunEvents();
}

void WindowController::processRunEvents() {
  if (handling_) return;  // the outer call goes on with the queue
  handling_ = true;
  while (!pending_.empty() && !pausing_ && questionDepth_ == 0 && closing_ == Closing::No) {
    const engine::RunEvent event = std::move(pending_.front());
    pending_.pop_front();
    session_.handleEvent(event);
  }
  handling_ = false;
}

void WindowController::startPause(std::chrono::milliseconds pause) {
  // The window takes no input and handles no other event for the pause, but
  // keeps painting.
  pausing_ = true;
  view_.startPause(pause);
}

void WindowController::pauseOver() {
  if (!pausing_) return;
  pausing_ = false;
  if (cancelAfterPause_) {
    cancelAfterPause_ = false;
    session_.endPauseCancelled();
  } else {
    session_.pauseOver();
  }
  if (closeAfterPause_) {
    // Asked now, as the closing would have waited for the pause.
    closeAfterPause_ = false;
    view_.closeLater();
  }
  view_.processEventsLater();
}

// ---- Closing --------------------------------------------------------------------

bool WindowController::closeRequested() {
  // Once while the window waits for a cancelled run.
  if (closing_ == Closing::Waiting) return false;
  if (pausing_) {
    closeAfterPause_ = true;
    return false;
  }
  if (session_.running() && !ask(closeQuestion())) return false;
  abandonUpdate();
  return true;
}

void WindowController::abandonUpdate() {
  if (!session_.running()) return;
  // Stop the run at its next exchange attempt and let it release the port
  // before the window goes; the window keeps painting meanwhile but handles
  // no more of its events and no input.
  closing_ = Closing::Waiting;
  session_.cancel();
  const auto started = std::chrono::steady_clock::now();
  while (!session_.waitForRun(kCloseWaitStep) && std::chrono::steady_clock::now() - started < setup_.closeWait) {
    view_.keepPainting();
  }
  view_.forgetRunEvents();
  session_.abandon();
  closing_ = Closing::Done;
}

}  // namespace zorvik::session
