#include "session/window_controller.h"

#include "engine/event_texts.h"
#include "engine/update_error.h"
#include "images/catalogue.h"
#include "images/image_file.h"
#include "session/image_file_failure.h"
#include "session/target_description.h"
#include "session/trace_files.h"

namespace zorvik::session {

namespace {
// How long each wait for a cancelled run lasts before the window paints again.
constexpr std::chrono::milliseconds kCloseWaitStep{20};
}  // namespace

WindowControls windowControls(const Controls& session, Aside aside) {
  const bool portFree = aside == Aside::Nothing;
  const bool asking = aside == Aside::AskingLogger;
  WindowControls c;
  c.updateEnabled = session.updateEnabled && portFree;
  c.fileEnabled = session.fileEnabled && portFree;
  c.fileVersionEnabled = session.fileVersionEnabled;
  // The question will name the port being asked: it stays the one shown.
  c.portEnabled = session.portEnabled && !asking;
  // The station and a second check would reach for ports as an update does.
  c.stationEnabled = session.updateEnabled && portFree;
  c.checkPortEnabled = session.updateEnabled && portFree;
  c.cancelShown = session.cancelShown;
  c.closeShown = session.closeShown;
  c.busyCursor = session.busyCursor || asking;
  return c;
}

std::string askingLoggerText(const std::string& port) { return "Asking the logger on " + port + " who it is ..."; }

std::string messageText(const std::string& text, const Explanation& why) {
  if (why.empty()) return text;
  return text + "\n\nCause: " + why.reason + "\nFix: " + why.fix;
}

std::string aboutText(const std::string& version) { return std::string(engine::kAppTitle) + "\nVersion " + version; }

WindowController::WindowController(WindowView& view, WindowSetup setup)
    : view_(view), setup_(std::move(setup)), session_(*this, setup_.session) {}

void WindowController::showIdle() {
  showStatus(setup_.options.memoryFormat ? "F" : "");
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
  const std::string port = view_.portName();
  const std::optional<Question> question = updateQuestion(setup_.options);
  if (!question) {
    if (auto request = prepareRun(port, std::nullopt)) session_.start(std::move(*request));
    return;
  }
  // A blank port box has nobody to ask; the question says so at once.
  if (portLeftBlank(port)) {
    Question named = *question;
    named.detail = describeTarget(port, engine::LoggerIdentity{}, images::ImageSource());
    askAndStart(named, port);
    return;
  }
  askLogger(port);
}

// The question is asked only once the logger has answered, so that it names
// what is about to be overwritten; meanwhile the window paints and says what
// it waits for, and nothing else may reach for the port.
void WindowController::askLogger(const std::string& port) {
  const int query = ++queries_;
  query_ = std::make_unique<TargetQuery>(port, setup_.sleeper, [&view = view_, query](const engine::LoggerIdentity& id) {
    view.postTargetAnswer(TargetAnswer{query, id});
  });
  statusBeforeAsking_ = status_;
  showStatus(askingLoggerText(port));
  drawControls();
}

void WindowController::targetAnswered(const TargetAnswer& answer) {
  if (!query_ || answer.query != queries_) return;  // given up (the window is closing)
  const std::string port = query_->port();
  query_.reset();  // the asking has answered and is ending
  showStatus(statusBeforeAsking_);
  drawControls();
  Question question = *updateQuestion(setup_.options);
  // The image named is the newest built-in for the logger's class: an update
  // from the window sends a built-in image.
  question.detail = describeTarget(port, answer.identity, images::ImageSource());
  askAndStart(question, port);
}

void WindowController::askAndStart(const Question& question, const std::string& port) {
  if (!ask(question)) return;
  if (auto request = prepareRun(port, std::nullopt)) session_.start(std::move(*request));
}

void WindowController::stopAskingLogger() {
  if (!query_) return;
  query_.reset();  // cancelled and waited for; its answer, still on its way, is ignored
  showStatus(statusBeforeAsking_);
  drawControls();
}

void WindowController::fileClicked() {
  if (!portFree()) return;
  const std::optional<ChosenFile> file = chooseFile();
  if (!file) return;
  if (auto request = prepareRun(view_.portName(), file)) session_.start(std::move(*request));
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
std::optional<engine::RunRequest> WindowController::prepareRun(const std::string& port,
                                                                const std::optional<ChosenFile>& file) {
  view_.clearReport();
  // The overview shows a file's header only until the next update.
  fileHeader_.reset();
  engine::RunRequest request;
  request.port = port;
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
  showStatus(text);
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

void WindowController::drawControls() {
  const Aside aside = query_ ? Aside::AskingLogger : checkingPort_ ? Aside::PortCheck : Aside::Nothing;
  view_.showControls(windowControls(sessionControls_, aside));
}

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
  stopAskingLogger();
  if (pausing_) {
    closeAfterPause_ = true;
    return false;
  }
  if (session_.running() && !ask(closeQuestion())) return false;
  abandonUpdate();
  return true;
}

void WindowController::abandonUpdate() {
  stopAskingLogger();
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
