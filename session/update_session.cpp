#include "update_session.h"

#include <exception>

#include "event_texts.h"
#include "serial_port.h"

namespace zorvik::session {

UpdateSession::UpdateSession(SessionView& view, SessionSetup setup) : view_(view), setup_(std::move(setup)) {}

UpdateSession::~UpdateSession() {
  // A run must not post into a session that is gone; it ends at its next
  // exchange attempt, and the handle waits for that.
  if (run_) run_->cancel();
}

void UpdateSession::showIdle() { endRun(); }

void UpdateSession::start(RunRequest request) {
  if (running_) return;
  request_ = std::move(request);
  // A new update: nothing is carried over from the last one.
  request_.memory = std::make_shared<UpdateMemory>();
  attempts_ = 0;
  outcome_.reset();
  startAttempt();
}

void UpdateSession::cancel() {
  if (running_) request_.cancel.cancel();
}

void UpdateSession::startAttempt() {
  ++attempts_;
  view_.attemptStarted(attempts_);
  const std::string text = startText(request_.port);
  view_.report(text);
  view_.setStatus(text);
  progress_ = 0;
  view_.setProgress(0);
  running_ = true;
  view_.showControls(controlsFor(true));
  try {
    run_ = std::make_unique<RunHandle>(request_, setup_.sink, setup_.workers);
  } catch (const std::exception&) {
    // No thread could be had: the run ends as any other failure would.
    handleEvent(RunEvent{kEvError, kErrFatal, std::nullopt});
  }
}

void UpdateSession::handleEvent(const RunEvent& event) {
  const EventPresentation p = presentEvent(event, request_.port);
  view_.eventArrived(event, p);
  if (isFinalEvent(event.code)) releaseRun();
  if (p.progress >= 0) {
    progress_ = p.progress;
    view_.setProgress(p.progress);
  }
  if (p.endRun) endRun();
  if (p.beep) view_.beep();
  if (p.progressTitle) view_.setTitle(std::to_string(progress_) + "%");
  if (p.status && p.statusFirst) view_.setStatus(p.text);
  if (p.report) view_.report(p.text);
  if (event.code == kEvError && event.value == kErrPortNotReady) reportOpenFailureHint();
  if (p.status && !p.statusFirst) view_.setStatus(p.text);
  if (p.repeat == RepeatKind::AtOnce) repeatAtOnce();
  if (p.repeat == RepeatKind::AfterPause) repeatAfterPause(event.value);
  if (p.message) view_.showMessage(p.text);
  if (p.repeat == RepeatKind::None && event.code == kEvSuccess) finish(0);
  if (p.repeat == RepeatKind::None && event.code == kEvError) finish(event.value);
}

bool UpdateSession::repeatAllowed() const { return setup_.maxRepeats < 0 || attempts_ <= setup_.maxRepeats; }

void UpdateSession::repeatAtOnce() {
  if (!repeatAllowed()) {
    finish(kErrProgramming);
    return;
  }
  startAttempt();
}

void UpdateSession::repeatAfterPause(std::int32_t command) {
  if (!repeatAllowed()) {
    endRun();
    finish(kErrNoAnswer);
    return;
  }
  // The failed run has posted its last event; the update stays under way
  // through the pause, and a cancel meanwhile stops the repeat at its first
  // exchange attempt (the token is the update's, not the run's).
  request_.command = static_cast<RunCommand>(command & 0xFF);
  pausing_ = true;
  view_.startPause(setup_.repeatPause);
}

void UpdateSession::pauseOver() {
  if (!pausing_) return;
  pausing_ = false;
  startAttempt();
}

void UpdateSession::endRun() {
  running_ = false;
  view_.showControls(controlsFor(false));
  view_.setTitle(kAppTitle);
}

void UpdateSession::finish(Outcome outcome) {
  running_ = false;
  outcome_ = outcome;
}

// The "not ready" text cannot tell a missing port from one the user may not
// open; where the system knows, a second line names the fix.
void UpdateSession::reportOpenFailureHint() {
  const std::string hint = openFailureHint(request_.port);
  if (!hint.empty()) view_.note(hint);
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

std::optional<Question> updateQuestion(const StartupOptions& options) {
  if (options.memoryFormat) return Question{"This update clears all measurements!", "Do you really continue ?"};
  if (options.fileMode != FileMode::Normal) return std::nullopt;
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
