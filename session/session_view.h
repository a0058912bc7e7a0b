// What an update session asks of a front end: draw this, wait that long. The
// Qt window, the command line and a future native window implement it; the
// session decides everything else. All calls come on the front end's own
// thread, from inside a call the front end made into the session.
#pragma once

#include <chrono>
#include <string>

#include "engine/event_texts.h"
#include "engine/events.h"
#include "session/failure_texts.h"
#include "session/time_left.h"

namespace zorvik::session {

// The state of the controls around a run.
struct Controls {
  bool updateEnabled = true;
  bool fileEnabled = true;
  bool fileVersionEnabled = true;
  bool portEnabled = true;
  bool cancelShown = false;
  bool closeShown = true;
  bool busyCursor = false;
  friend bool operator==(const Controls&, const Controls&) = default;
};

class SessionView {
 public:
  virtual ~SessionView() = default;

  // A report line (the front end adds the time stamp).
  virtual void report(const std::string& text) = 0;
  // A line of the session's own, not an event's.
  virtual void note(const std::string& text) { report(text); }
  // Why an update failed and what fixes it; one line after the error.
  virtual void explain(const std::string& reason, const std::string& fix) { note(reason + ": " + fix); }
  virtual void setStatus(const std::string& text) = 0;
  virtual void setProgress(int percent) = 0;
  // How far the image has gone and, once measured, the time left: on each
  // progress event that counts lines (before the event is drawn), and an
  // empty one (total 0) when a run starts and when it ends.
  virtual void setLineProgress(const LineProgress& /*progress*/) {}
  // The text of the program's task-bar button: the progress while a run is
  // under way, the program's name otherwise.
  virtual void setTaskbarTitle(const std::string& title) = 0;
  // The main window's caption, set once. Where the toolkit has one title for
  // both (Qt on Linux), the front end ignores this or shows the same text.
  virtual void setCaption(const std::string& /*caption*/) {}
  // The final message of an update, shown until the user dismisses it.
  virtual void showMessage(const std::string& text) = 0;
  virtual void beep() = 0;
  virtual void showControls(const Controls& controls) = 0;
  // Call UpdateSession::pauseOver() once `pause` has passed. Meanwhile the
  // front end takes no input for the session and holds back its events.
  virtual void startPause(std::chrono::milliseconds pause) = 0;
  // While an update repeats without a valid frame ever having come from its
  // port (from its first repeat on): why, and what to check; an empty one
  // when that no longer holds (a frame came, a new update starts). Called
  // before the repeat's status and report.
  virtual void portHint(const Explanation& /*hint*/) {}

  // For machine-readable output: each attempt as it starts, and each event
  // with how it is presented, before the calls above draw it.
  virtual void attemptStarted(int /*attempt*/) {}
  virtual void eventArrived(const engine::RunEvent& /*event*/, const engine::EventPresentation& /*presentation*/) {}
};

}  // namespace zorvik::session
