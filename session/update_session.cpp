#include "session/update_session.h"

#include <exception>

#include "engine/event_texts.h"
#include "link/serial_port.h"

namespace zorvik::session {

UpdateSession::UpdateSession(SessionView& view, SessionSetup setup)
    : view_(view), setup_(std::move(setup)), timeLeft_(setup_.afterLastLine) {}

UpdateSession::~UpdateSession() {
  // A run must not post into a session that is gone; it ends at its next
  // exchange attempt, and the handle waits for that.
  if (run_) run_->cancel();
}

void UpdateSession::showIdle() {
  view_.setCaption(engine::kAppTitle);
  endRun();
}

void UpdateSession::start(engine::RunRequest request) {
  if (running_) return;
  request_ = std::move(request);
  // A new update: nothing is carried over from the last one.
  request_.memory = std::make_shared<engine::UpdateMemory>();
  attempts_ = 0;
  outcome_.reset();
  summary_ = engine::RunSummary{};
  finalText_.clear();
  startedAt_ = std::chrono::steady_clock::now();
  recordProblemShown_ = false;
  serialTold_ = 0;
  stopped_ = false;
  answered_ = false;
  view_.portHint({});
  if (setup_.recorder) record(setup_.recorder->updateStarted(request_));
  startAttempt();
}

void UpdateSession::cancel() {
  if (running_) request_.cancel.cancel();
}

void UpdateSession::startAttempt() {
  ++attempts_;
  view_.attemptStarted(attempts_);
  const std::string text = engine::startText(request_.port);
  view_.report(text);
  view_.setStatus(text);
  progress_ = 0;
  view_.setProgress(0);
  timeLeft_.restart();
  view_.setLineProgress({});
  running_ = true;
  view_.showControls(controlsFor(true));
  try {
    run_ = std::make_unique<engine::RunHandle>(request_, setup_.sink, setup_.workers);
  } catch (const std::exception&) {
    // No thread could be had: the run ends as any other failure would.
    handleEvent(engine::RunEvent{engine::kEvError, engine::errorValue(engine::ErrorCode::Fatal), std::nullopt, std::nullopt});
  }
}

namespace {

// When the repeats have run out, the event that would have asked for one
// ends the update instead, and says so.
void giveUp(engine::EventPresentation& p, std::uint32_t code, int runs) {
  const std::string after = " after " + std::to_string(runs) + (runs == 1 ? " run." : " runs.");
  p.text = code == engine::kEvNoAnswer ? "Update failed: no answer from the logger" + after
                               : "Update failed: the logger's echo differed" + after;
  p.repeat = engine::RepeatKind::None;
  p.endRun = true;
  p.beep = true;
  p.report = p.status = p.message = true;
  p.statusFirst = false;
}

}  // namespace

void UpdateSession::handleEvent(const engine::RunEvent& event) {
  // Every event but a run's end follows a valid frame from the logger.
  if (!engine::isFinalEvent(event.code) && !answered_) {
    answered_ = true;
    view_.portHint({});
  }
  const engine::EventPresentation p = present(event);
  if (event.code == engine::kEvProgress && event.lines) view_.setLineProgress(timeLeft_.update(*event.lines, setup_.clock()));
  view_.eventArrived(event, p);
  if (engine::isFinalEvent(event.code)) releaseRun();
  if (event.summary) learn(*event.summary);
  tellSerialNumber();
  if (p.message) finalText_ = p.text;
  if (p.progress >= 0) {
    progress_ = p.progress;
    view_.setProgress(p.progress);
  }
  if (p.endRun) endRun();
  show(p);
  carryOn(event, p);
}

// The event as this update shows it: with the repeats that are left, and
// with the cause and fix of a failure.
engine::EventPresentation UpdateSession::present(const engine::RunEvent& event) {
  engine::EventPresentation p = presentEvent(event, request_.port);
  const bool repeat = p.repeat != engine::RepeatKind::None;
  const engine::Explanation hint = repeat ? silentPortHint(event) : engine::Explanation{};
  if (repeat && (!repeatAllowed() || silentPortGivenUp())) giveUp(p, event.code, attempts_);
  engine::Explanation why = explanationFor(event, p);
  if (!hint.empty()) {
    // Ending here, the hint is the cause; repeating, the front end may show it.
    if (p.repeat == engine::RepeatKind::None) why = hint;
    else view_.portHint(hint);
  }
  p.reason = why.reason;
  p.fix = why.fix;
  return p;
}

// The order is the one a person reads: the beep, the status that comes
// first, the report line, why it failed, then the status that follows it.
void UpdateSession::show(const engine::EventPresentation& p) {
  if (p.beep) view_.beep();
  if (p.progressTitle) view_.setTaskbarTitle(std::to_string(progress_) + "%");
  if (p.status && p.statusFirst) view_.setStatus(p.text);
  if (p.report) view_.report(p.text);
  if (!p.reason.empty()) view_.explain(p.reason, p.fix);
  if (p.status && !p.statusFirst) view_.setStatus(p.text);
}

// A repeat now or after the pause, or the update's end.
void UpdateSession::carryOn(const engine::RunEvent& event, const engine::EventPresentation& p) {
  if (p.repeat == engine::RepeatKind::AtOnce) startAttempt();
  if (p.repeat == engine::RepeatKind::AfterPause) repeatAfterPause(event.value);
  if (p.message) view_.showMessage(p.text);
  if (p.repeat == engine::RepeatKind::None && engine::isFinalEvent(event.code)) {
    finish(event.code == engine::kEvSuccess    ? 0
           : event.code == engine::kEvNoAnswer ? engine::errorValue(engine::ErrorCode::NoAnswer)
                                       : event.value);
  }
}

bool UpdateSession::repeatAllowed() const {
  return !stopped_ && (setup_.maxRepeats < 0 || attempts_ <= setup_.maxRepeats);
}

bool UpdateSession::silentPortGivenUp() const {
  return setup_.silentRuns > 0 && !answered_ && attempts_ >= setup_.silentRuns;
}

// From the first repeat on, a port that never gave a valid frame is the
// likelier cause than the logger: said as the system finds it (another
// program that has the port open takes the answers), else as a question
// about the port. Empty while it does not apply.
engine::Explanation UpdateSession::silentPortHint(const engine::RunEvent& event) const {
  if (answered_ || attempts_ < 2) return {};
  const engine::Explanation plain = engine::failureExplanation(event.failure);
  if (setup_.explain && event.failure.kind != link::FailureKind::None) {
    engine::Explanation found = setup_.explain(request_.port, event.failure);
    if (!found.empty() && found != plain) return found;
  }
  return engine::silentPortExplanation(request_.port);
}

void UpdateSession::stop() {
  if (!running_) return;
  stopped_ = true;
  request_.cancel.cancel();
  if (!pausing_) return;
  pausing_ = false;
  endRun();
  finalText_ = engine::errorText(engine::errorValue(engine::ErrorCode::Cancelled), request_.port);
  finish(errorValue(engine::ErrorCode::Cancelled));
}

void UpdateSession::repeatAfterPause(std::int32_t command) {
  // The failed run has posted its last event; the update stays under way
  // through the pause, and a cancel meanwhile stops the repeat at its first
  // exchange attempt (the token is the update's, not the run's).
  request_.command = static_cast<engine::RunCommand>(command & 0xFF);
  pausing_ = true;
  view_.startPause(setup_.repeatPause);
}

void UpdateSession::pauseOver() {
  if (!pausing_) return;
  pausing_ = false;
  startAttempt();
}

void UpdateSession::endPauseCancelled() {
  if (!pausing_) return;
  pausing_ = false;
  handleEvent(engine::RunEvent{engine::kEvError, engine::errorValue(engine::ErrorCode::Cancelled)});
}

void UpdateSession::endRun() {
  running_ = false;
  view_.setLineProgress({});
  view_.showControls(controlsFor(false));
  view_.setTaskbarTitle(engine::kAppTitle);
}

void UpdateSession::finish(Outcome outcome) {
  running_ = false;
  outcome_ = outcome;
  if (!setup_.recorder) return;
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - startedAt_);
  record(setup_.recorder->updateEnded(request_, UpdateEnding{summary_, outcome, finalText_, attempts_ - 1, took}));
}

// A later run knows more, or the same; what it could not find out (it failed
// earlier) the earlier runs may still tell.
void UpdateSession::learn(const engine::RunSummary& s) {
  const engine::RunSummary unknown;
  if (s.updateClass != unknown.updateClass) summary_.updateClass = s.updateClass;
  if (s.applicationVersion != unknown.applicationVersion) summary_.applicationVersion = s.applicationVersion;
  if (s.serialNumber != unknown.serialNumber) summary_.serialNumber = s.serialNumber;
  if (s.image != unknown.image) summary_.image = s.image;
  // Whether the logger now runs the image is the last run's to say: a later
  // run that stops halfway leaves it with half an image again.
  summary_.imageSent = s.imageSent;
}

// A run tells its findings only with its final event, but the serial number
// is in the update's memory as soon as it was read.
void UpdateSession::tellSerialNumber() {
  if (!setup_.recorder) return;
  std::uint32_t serial = request_.memory ? request_.memory->serialNumber.load() : 0;
  if (summary_.serialNumber != 0) serial = summary_.serialNumber;
  if (serial == 0 || serial == serialTold_) return;
  serialTold_ = serial;
  record(setup_.recorder->serialNumberRead(request_, serial));
}

void UpdateSession::record(const std::optional<std::string>& problem) {
  if (!problem || recordProblemShown_) return;
  recordProblemShown_ = true;
  view_.note(*problem);
}

// The error texts cannot tell a missing port from one the user may not open,
// or a silent logger from a noisy cable; when the update ends on such a
// failure, one more line names the cause and the fix.
engine::Explanation UpdateSession::explanationFor(const engine::RunEvent& event, const engine::EventPresentation& p) const {
  if (!engine::isFinalEvent(event.code) || p.repeat != engine::RepeatKind::None) return {};
  if (event.code == engine::kEvError && event.value == engine::errorValue(engine::ErrorCode::Cancelled)) return {};
  if (event.failure.kind == link::FailureKind::None || !setup_.explain) return {};
  return setup_.explain(request_.port, event.failure);
}

void UpdateSession::releaseRun() {
  // The run has posted its final event and is on its way out: waiting for
  // its thread here takes no time, and no two runs of a session overlap.
  run_.reset();
}

bool UpdateSession::waitForRun(std::chrono::milliseconds limit) {
  return !run_ || run_->waitFor(limit);
}

void UpdateSession::abandon() {
  if (run_) run_->cancel();
  pausing_ = false;
  if (running_) endRun();
}

std::optional<Question> updateQuestion(const engine::StartupOptions& options) {
  if (options.memoryFormat) return Question{"This update clears all measurements!", "Do you really continue ?"};
  if (options.fileMode != engine::FileMode::Normal) return std::nullopt;
  return Question{"Do you save your measurements ?", "Do you really continue without saving ?"};
}

Question closeQuestion() { return {"The update is not finished!", "Do you really close the program ?"}; }

Controls controlsFor(bool running) {
  Controls c;
  c.updateEnabled = !running;
  c.fileEnabled = !running;
  c.fileVersionEnabled = !running;
  c.portEnabled = !running;
  c.cancelShown = running;
  c.closeShown = !running;
  c.busyCursor = running;
  return c;
}

}  // namespace zorvik::session
