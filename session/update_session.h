// One update as a front end sees it, toolkit-free: starting it, the events of
// its runs, the automatic repeats (after no answer with a pause, after an
// echo error at once, optionally limited), cancel, closing, the state of the
// controls and every text. The front end feeds in the user's actions and the
// runs' events on its own thread and draws what the SessionView is told.
//
// Thread safety: a session is used by one thread, the front end's. The runs
// it starts post to the sink it was given, from their own threads; bringing
// those events back to that one thread is the front end's part.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/event_sink.h"
#include "engine/run_handle.h"
#include "engine/run_request.h"
#include "engine/startup_options.h"
#include "engine/update_timing.h"
#include "session/session_view.h"
#include "session/time_left.h"
#include "session/update_recorder.h"

namespace zorvik::session {

constexpr std::chrono::milliseconds kRepeatPause{1500};

// Runs after which a front end that gives up on a port never heard from
// (SessionSetup::silentRuns) ends the update. A logger answers its first
// identity query in whatever state it is; one that was still being switched
// on or plugged in answers the repeat. Three runs (about eight seconds)
// leave room for that and for a slow adapter, and stop a wrong port long
// before anyone would take the repeats for progress.
constexpr int kSilentPortRuns = 3;

struct SessionSetup {
  std::shared_ptr<engine::EventSink> sink;  // where this session's runs post
  engine::WorkerFactory workers = engine::makeLoggerUpdate;
  std::chrono::milliseconds repeatPause = kRepeatPause;
  int maxRepeats = -1;  // automatic repeats allowed; -1 unlimited
  // Runs after which an update from whose port no valid frame ever came
  // ends (kSilentPortRuns); 0: only maxRepeats limits it (the window).
  int silentRuns = 0;
  std::shared_ptr<UpdateRecorder> recorder;  // keeps a record of each update; may be null
  Explain explain = explainFailure;  // a front end with system checks gives a richer one
  std::function<TimeLeft::Clock::time_point()> clock = TimeLeft::Clock::now;  // measures the line rate
  std::chrono::milliseconds afterLastLine = engine::kPausesAfterLastLine;  // counted into the time left
};

// How an update ended: 0 success, otherwise the error code (30 when the
// repeats after no answer ran out, or the port never answered in
// SessionSetup::silentRuns runs; 44 when the repeats after an echo error
// ran out).
using Outcome = std::int32_t;

class UpdateSession {
 public:
  UpdateSession(SessionView& view, SessionSetup setup);
  ~UpdateSession();
  UpdateSession(const UpdateSession&) = delete;
  UpdateSession& operator=(const UpdateSession&) = delete;

  // Caption, idle controls and task-bar title, as at start-up.
  void showIdle();

  // Starts an update with its first run. The request's cancel token and a
  // fresh update memory serve the update and all its repeats. Ignored while
  // an update is under way.
  void start(engine::RunRequest request);
  // The run in progress ends with error 20 at its next exchange attempt; a
  // repeat not yet started ends so at its first.
  void cancel();
  // One event of this session's current run, in posting order.
  void handleEvent(const engine::RunEvent& event);
  // The pause asked for by SessionView::startPause has passed.
  void pauseOver();
  // The pause has passed and the user cancelled during it: the update ends
  // as a cancelled run ends ("Process cancelled!"), without the repeat.
  void endPauseCancelled();
  // Waits up to `limit` for the current run to end and release its port;
  // true when no run is left.
  bool waitForRun(std::chrono::milliseconds limit);
  // Forget the update: cancel it, and end its state without waiting (for a
  // front end that goes away).
  void abandon();
  // End the update for good: the run in progress ends at its next exchange
  // attempt and no repeat follows it; during a pause the update ends at once
  // (error 20). For a port that has gone away.
  void stop();

  bool running() const { return running_; }
  bool pausing() const { return pausing_; }
  int attempts() const { return attempts_; }
  const std::string& port() const { return request_.port; }
  // Set once an update has ended (no repeat follows).
  std::optional<Outcome> outcome() const { return outcome_; }
  // What the runs of the current (or last) update learnt, the latest known
  // value of each.
  const engine::RunSummary& summary() const { return summary_; }
  // The final message of the last update ended.
  const std::string& finalText() const { return finalText_; }

 private:
  void startAttempt();
  void endRun();
  void finish(Outcome outcome);
  bool repeatAllowed() const;
  bool silentPortGivenUp() const;
  engine::Explanation silentPortHint(const engine::RunEvent& event) const;
  void repeatAfterPause(std::int32_t command);
  engine::Explanation explanationFor(const engine::RunEvent& event, const engine::EventPresentation& p) const;
  engine::EventPresentation present(const engine::RunEvent& event);
  void show(const engine::EventPresentation& p);
  void carryOn(const engine::RunEvent& event, const engine::EventPresentation& p);
  void releaseRun();
  void learn(const engine::RunSummary& summary);
  void tellSerialNumber();
  void record(const std::optional<std::string>& problem);

  SessionView& view_;
  SessionSetup setup_;
  engine::RunRequest request_;
  std::unique_ptr<engine::RunHandle> run_;
  bool running_ = false;
  bool pausing_ = false;
  int attempts_ = 0;
  int progress_ = 0;
  TimeLeft timeLeft_;
  std::optional<Outcome> outcome_;
  engine::RunSummary summary_;
  std::string finalText_;
  std::chrono::steady_clock::time_point startedAt_{};
  bool recordProblemShown_ = false;
  std::uint32_t serialTold_ = 0;  // the serial number last given to the recorder
  bool stopped_ = false;
  bool answered_ = false;  // a valid frame came in one of this update's runs
};

// The confirmation an update asks for in this mode, if any: two lines, and
// under them, where a front end knows it, what the answer is about (the
// logger on the port; updateQuestion leaves it empty).
struct Question {
  std::string line1;
  std::string line2;
  std::string detail{};
};
std::optional<Question> updateQuestion(const engine::StartupOptions& options);
Question closeQuestion();

Controls controlsFor(bool running);

}  // namespace zorvik::session
