// A production station without any toolkit: every logger plugged in is
// updated (the front end asks once, at the start), one update session per
// port link, all at once, until the operator stops the station. It keeps the bookkeeping a front end
// would otherwise repeat: which link belongs to which unit, a link pulled
// out in the middle of its update (that update is stopped and ends as
// "adapter unplugged"), a port another station holds ("busy elsewhere"), a
// port taken again only after its link has gone and come back (the next
// logger plugged in), the counters and one result record per unit. An
// unplugged adapter, a stopped station and a port busy elsewhere are results
// of their own: none of them says anything against the logger. A front end implements StationView to draw it, feeds in the link
// changes and the runs' events on its own thread and keeps the time
// (nextDeadline / timePassed); the command line and the desktop window both
// do so.
//
// Thread safety: a station is used by one thread, the front end's. The runs
// post to the StationSink from their own threads; bringing those events back
// to that thread is the front end's part, as for an UpdateSession.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/event_texts.h"
#include "engine/run_handle.h"
#include "engine/run_request.h"
#include "ports/link_watcher.h"
#include "session/failure_texts.h"
#include "session/time_left.h"
#include "session/update_recorder.h"
#include "station/station_policy.h"

namespace zorvik::station {

using Clock = std::chrono::steady_clock;

// Gives each unit's update session its recorder of the update history; the
// front end opens the history once. Empty: no history kept.
using RecorderFactory = std::function<std::shared_ptr<session::UpdateRecorder>()>;

// Where the units' runs post their events, tagged with the unit. Called from
// the runs' threads: must not block on the front end, and must deliver the
// events of one unit in posting order.
class StationSink {
 public:
  virtual ~StationSink() = default;
  virtual void post(int unit, engine::RunEvent event) noexcept = 0;
};

struct StationSetup {
  std::filesystem::path watchDir;  // the directory of port links
  LinkChoice links = LinkChoice::everyLink();  // which links in it are loggers
  engine::RunOptions options;
  images::ImageSource images;
  std::string imagePolicy;  // how the image is chosen, in words, for the announcement
  link::CancelToken cancel;       // every unit's run is cancelled with it
  std::shared_ptr<link::Sleeper> sleeper;  // the protocol's fixed pauses; null: real ones
  std::chrono::milliseconds repeatPause{1500};
  // How long an update whose port failed waits for its link to vanish
  // before it counts as failed rather than unplugged.
  std::chrono::milliseconds unplugGrace{1500};
  int maxRepeats = -1;  // automatic repeats per unit; -1 unlimited
  engine::WorkerFactory workers = engine::makeLoggerUpdate;
  RecorderFactory recorders;
  session::Explain explain = session::explainFailure;  // the cause and fix of a failure
  std::shared_ptr<StationSink> sink;
};

// What the station says when it begins.
struct StationStart {
  std::filesystem::path watchDir;
  std::string links;        // "every port link" or "links usb-FTDI*"
  std::string imagePolicy;
};

// A logger found on a port link.
struct UnitStart {
  int unit = 0;
  std::string link;     // the link's name in the watched directory
  std::string port;     // the path the update opens
  std::string adapter;  // the adapter's serial number from the link's name; empty unknown
};

// How a unit's update ended, as the station counts it.
enum class ResultKind {
  Pass,
  Fail,           // the update failed: the logger, its line or the image
  Unplugged,      // the adapter was pulled out during the update
  Stopped,        // the operator stopped the station during the update
  BusyElsewhere,  // another program (another station) holds the port: skipped
};

// "PASS", "FAIL", "UNPLUGGED", "STOPPED", "SKIPPED": the result's word in
// result lines and records.
const char* resultWord(ResultKind kind);

// The station's own result texts, kept in place of the final message (and
// in the history's result text) where the update did not fail the logger.
inline constexpr const char* kUnpluggedText = "adapter unplugged";
inline constexpr const char* kStoppedText = "station stopped";
inline constexpr const char* kBusyElsewhereText = "busy elsewhere";
// A PASS without an update: the logger already ran the newest image for its
// class (StationSetup's options.skipCurrent), and nothing was erased.
inline constexpr const char* kAlreadyCurrentText = "already current";
// The station's own text of a kind; empty for PASS and FAIL, which keep the
// final message.
std::string stationText(ResultKind kind);

struct UnitResult {
  int unit = 0;
  std::string link;
  std::string adapter;          // empty unknown
  ResultKind kind = ResultKind::Fail;
  bool pass = false;            // kind == Pass
  bool unplugged = false;       // kind == Unplugged
  bool alreadyCurrent = false;  // a PASS that wrote nothing: the logger was current
  std::uint32_t serialNumber = 0;  // the logger's; 0 unknown
  std::string versionBefore;    // the application's version before, "6.26"; "?" unknown
  std::string imageVersion;     // the image the logger got, "6.26"; "-" when it got none
  std::chrono::milliseconds duration{0};
  int repeats = 0;              // automatic repeats made
  std::int32_t code = 0;        // 0 success, otherwise the error code
  std::string text;             // the final message, or the station's own text of the kind
};

struct Counters {
  int passed = 0;
  int failed = 0;
  int unplugged = 0;
  int stopped = 0;
  int busyElsewhere = 0;  // skipped: not among the units this station updated
  int alreadyCurrent = 0;  // of the passed, those that were current and were left as they were
  int total() const { return passed + failed + unplugged + stopped; }
  friend bool operator==(const Counters&, const Counters&) = default;
};

// What a station asks of a front end. Every call comes on the front end's
// thread, from inside a call it made into the station. The unit calls mirror
// session::SessionView for one unit's update session; a station front end
// draws no final message of its own, the result stands for it.
class StationView {
 public:
  virtual ~StationView() = default;

  virtual void stationStarted(const StationStart& start) = 0;
  virtual void unitStarted(const UnitStart& unit) = 0;
  virtual void unitAttemptStarted(int /*unit*/, int /*attempt*/) {}
  virtual void unitEvent(int /*unit*/, const engine::RunEvent& /*event*/, const engine::EventPresentation& /*presentation*/) {}
  virtual void unitReport(int /*unit*/, const std::string& /*text*/) {}
  // A line of the session's own: a history that cannot be kept.
  virtual void unitNote(int unit, const std::string& text) = 0;
  // Why the unit's update failed and what fixes it, after the error.
  virtual void unitExplain(int unit, const std::string& reason, const std::string& fix) {
    unitNote(unit, reason + ": " + fix);
  }
  virtual void unitStatus(int /*unit*/, const std::string& /*text*/) {}
  virtual void unitProgress(int /*unit*/, int /*percent*/) {}
  // Lines done and the time left, as session::SessionView::setLineProgress.
  virtual void unitLineProgress(int /*unit*/, const session::LineProgress& /*progress*/) {}
  // The logger's identity as far as its runs have read it, when it changed.
  virtual void unitIdentified(int /*unit*/, const engine::RunSummary& /*summary*/) {}
  virtual void unitResult(const UnitResult& result) = 0;
  // The counters after each result.
  virtual void countersChanged(const Counters& counters) = 0;
  // The unit's link has gone after its update: its port is free for the next logger.
  virtual void unitGone(int /*unit*/) {}
  // Stopped, and every run has ended: the last word.
  virtual void stationStopped(const Counters& counters) = 0;
};

class Station {
 public:
  Station(StationSetup setup, StationView& view);
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Announces the station; the first links come with the first linksChanged.
  void begin();
  // Links that appeared (a logger plugged in) or vanished (pulled out).
  void linksChanged(const std::vector<ports::LinkChange>& changes);
  // One event a unit's run posted, in posting order.
  void unitEvent(int unit, const engine::RunEvent& event);
  // Call at nextDeadline() (or later): the pauses before repeats that are over.
  void timePassed();
  // When timePassed() is due next; none while no unit is pausing.
  std::optional<Clock::time_point> nextDeadline() const;

  // Takes no new logger and ends every update: a run in progress at its
  // next exchange, a pause at once; no repeat follows. stationStopped comes
  // once the last run has ended.
  void stop();
  // Waits up to `limit` in all for the runs in progress to end and release
  // their ports, without handling their events; true when none is left.
  bool waitForRuns(std::chrono::milliseconds limit);
  // For a front end that goes away without waiting further: cancels what
  // still runs and forgets it.
  void abandon();

  bool stopping() const { return stopping_; }
  bool running() const;
  // Stopped and every run ended.
  bool finished() const { return stopping_ && !running(); }
  const Counters& counters() const { return counters_; }

 private:
  class Unit;
  class UnitRecorder;
  void plugged(const std::string& link);
  void unplugged(const std::string& link);
  void settle();
  void endDuePauses();
  void reportEnded();
  bool awaitsLink(Unit& unit);
  void count(ResultKind kind);
  ResultKind kindOf(const Unit& unit) const;
  UnitResult resultOf(const Unit& unit) const;
  std::string ownText(const Unit& unit) const;

  StationSetup setup_;
  StationView& view_;
  std::map<int, std::unique_ptr<Unit>> units_;
  std::map<std::string, int> byLink_;
  int nextId_ = 1;
  Counters counters_;
  bool stopping_ = false;
  bool stoppedShown_ = false;
};

}  // namespace zorvik::station
