#include "station/production_station.h"

#include <algorithm>
#include <functional>

#include "images/version_text.h"
#include "session/session_view.h"
#include "session/update_session.h"

namespace zorvik::station {
namespace {

// One unit's runs post into the station's sink, tagged with the unit.
class UnitSink final : public engine::EventSink {
 public:
  UnitSink(std::shared_ptr<StationSink> sink, int unit) : sink_(std::move(sink)), unit_(unit) {}
  void post(engine::RunEvent event) noexcept override { sink_->post(unit_, std::move(event)); }

 private:
  std::shared_ptr<StationSink> sink_;
  int unit_;
};

std::string imageVersionText(const images::ImageSource& images, int image) {
  if (image < 0) return "-";
  const images::ImageHeader h = images.header(image);
  return images::versionText(h.versionHigh, h.versionLow);
}

}  // namespace

// A unit's record of its update, as the history keeps it: where the station
// knows better than the final message why the update ended (the adapter was
// pulled out, the station stopped, the port was busy elsewhere), the result
// text says so; the code stays the run's. The end is written when the
// station has decided the unit's result, which may be a moment after the
// update ended (see Station::awaitsLink).
class Station::UnitRecorder final : public session::UpdateRecorder {
 public:
  // `stationText`: the station's own text of the unit's result, if any.
  UnitRecorder(std::shared_ptr<session::UpdateRecorder> inner, std::function<std::string()> stationText)
      : inner_(std::move(inner)), stationText_(std::move(stationText)) {}
  // Whatever ends a station, an update's end is not lost with it: written
  // with the text it had when the update ended (the unit may be gone).
  ~UnitRecorder() override {
    if (ended_) inner_->updateEnded(ended_->first, ended_->second);
  }
  UnitRecorder(const UnitRecorder&) = delete;
  UnitRecorder& operator=(const UnitRecorder&) = delete;

  std::optional<std::string> updateStarted(const engine::RunRequest& request) override {
    return noted(inner_->updateStarted(request));
  }
  std::optional<std::string> serialNumberRead(const engine::RunRequest& request, std::uint32_t serialNumber) override {
    return noted(inner_->serialNumberRead(request, serialNumber));
  }
  std::optional<std::string> updateEnded(const engine::RunRequest& request, const session::UpdateEnding& ending) override {
    ended_.emplace(request, told(ending));
    return std::nullopt;
  }
  // Writes the end held back, with the station's text as it stands now. A
  // problem comes back only if the update's session has not shown one yet.
  std::optional<std::string> release() {
    if (!ended_) return std::nullopt;
    auto [request, ending] = std::move(*ended_);
    ended_.reset();
    const std::optional<std::string> problem = inner_->updateEnded(request, told(ending));
    return problemShown_ ? std::nullopt : noted(problem);
  }

 private:
  std::optional<std::string> noted(std::optional<std::string> problem) {
    if (problem) problemShown_ = true;
    return problem;
  }

  session::UpdateEnding told(session::UpdateEnding ending) const {
    if (std::string text = stationText_(); !text.empty()) ending.finalText = std::move(text);
    return ending;
  }

  std::shared_ptr<session::UpdateRecorder> inner_;
  std::function<std::string()> stationText_;
  std::optional<std::pair<engine::RunRequest, session::UpdateEnding>> ended_;
  bool problemShown_ = false;  // the session shows one problem per update
};

namespace {

bool wasCurrent(std::optional<std::int32_t> outcome) {
  return outcome == engine::errorValue(engine::ErrorCode::AlreadyCurrent);
}

// The line itself went: the port failed, or was gone when a repeat opened it.
// Pulling an adapter out looks like this before its link vanishes.
bool lineLost(const engine::RunEvent& event) {
  if (event.code != engine::kEvError) return false;
  return event.value == engine::errorValue(engine::ErrorCode::PortIo) ||
         (event.value == engine::errorValue(engine::ErrorCode::PortNotReady) &&
          event.failure.kind == link::FailureKind::NotFound);
}

// Another program holds the port: the run could not even open it.
bool heldElsewhere(const engine::RunEvent& event) {
  return event.code == engine::kEvError && event.value == engine::errorValue(engine::ErrorCode::PortNotReady) &&
         event.failure.kind == link::FailureKind::Busy;
}

}  // namespace

std::string stationText(ResultKind kind) {
  switch (kind) {
    case ResultKind::Unplugged: return kUnpluggedText;
    case ResultKind::Stopped: return kStoppedText;
    case ResultKind::BusyElsewhere: return kBusyElsewhereText;
    case ResultKind::Pass: case ResultKind::Fail: break;
  }
  return {};
}

const char* resultWord(ResultKind kind) {
  switch (kind) {
    case ResultKind::Pass: return "PASS";
    case ResultKind::Fail: return "FAIL";
    case ResultKind::Unplugged: return "UNPLUGGED";
    case ResultKind::Stopped: return "STOPPED";
    case ResultKind::BusyElsewhere: return "SKIPPED";
  }
  return "FAIL";
}

// ---- One unit: a logger on one port link ------------------------------------
//
// The session's view for that unit: it passes the drawing on to the
// station's view with the unit's number and keeps the pause itself, so that
// a pause on one port never holds up another.

class Station::Unit final : public session::SessionView {
 public:
  Unit(StationView& view, UnitStart start) : view_(view), start_(std::move(start)) {}

  std::unique_ptr<session::UpdateSession> session;
  std::shared_ptr<UnitRecorder> recorder;  // null: no history
  std::optional<Clock::time_point> pauseEnds;
  bool lineLost = false;  // the last run ended because the port failed or went
  std::optional<Clock::time_point> linkAwaited;  // until when its link may still vanish
  Clock::time_point started = Clock::now();
  engine::RunSummary identified;
  bool unplugged = false;
  bool busyElsewhere = false;
  bool stoppedByStation = false;
  bool ended = false;

  const UnitStart& start() const { return start_; }
  int id() const { return start_.unit; }

  void report(const std::string& text) override { view_.unitReport(id(), text); }
  void note(const std::string& text) override { view_.unitNote(id(), text); }
  void explain(const std::string& reason, const std::string& fix) override { view_.unitExplain(id(), reason, fix); }
  void setStatus(const std::string& text) override { view_.unitStatus(id(), text); }
  void setProgress(int percent) override { view_.unitProgress(id(), percent); }
  void setLineProgress(const session::LineProgress& p) override { view_.unitLineProgress(id(), p); }
  void setTaskbarTitle(const std::string&) override {}
  // The result stands for the final message, and the station beeps once per
  // result rather than where a single update would.
  void showMessage(const std::string&) override {}
  void beep() override {}
  void showControls(const session::Controls&) override {}
  void startPause(std::chrono::milliseconds pause) override { pauseEnds = Clock::now() + pause; }
  void attemptStarted(int attempt) override { view_.unitAttemptStarted(id(), attempt); }
  void eventArrived(const engine::RunEvent& event, const engine::EventPresentation& p) override { view_.unitEvent(id(), event, p); }

 private:
  StationView& view_;
  UnitStart start_;
};

// ---- The station --------------------------------------------------------------

Station::Station(StationSetup setup, StationView& view) : setup_(std::move(setup)), view_(view) {}

// The units' sessions cancel their runs and wait for them as they go.
Station::~Station() = default;

void Station::begin() {
  StationStart start;
  start.watchDir = setup_.watchDir;
  start.links = setup_.links.words();
  start.imagePolicy = setup_.imagePolicy;
  view_.stationStarted(start);
}

void Station::linksChanged(const std::vector<ports::LinkChange>& changes) {
  for (const auto& change : changes) {
    // A link that vanished can no longer be asked what it led to; one the
    // station did not take is not among its units either.
    if (change.kind == ports::LinkChange::Kind::Vanished) unplugged(change.name);
    else if (setup_.links.takes(setup_.watchDir / change.name)) plugged(change.name);
  }
  settle();
}

void Station::unitEvent(int unit, const engine::RunEvent& event) {
  const auto found = units_.find(unit);
  if (found != units_.end()) {
    Unit& u = *found->second;
    if (heldElsewhere(event)) u.busyElsewhere = true;
    if (engine::isFinalEvent(event.code)) u.lineLost = lineLost(event);
    u.session->handleEvent(event);
    if (u.session->summary() != u.identified) {
      u.identified = u.session->summary();
      view_.unitIdentified(unit, u.identified);
    }
  }
  settle();
}

void Station::timePassed() { settle(); }

std::optional<Clock::time_point> Station::nextDeadline() const {
  std::optional<Clock::time_point> next;
  for (const auto& [id, unit] : units_) {
    for (const auto& due : {unit->pauseEnds, unit->linkAwaited}) {
      if (due && (!next || *due < *next)) next = due;
    }
  }
  return next;
}

void Station::stop() {
  stopping_ = true;
  for (auto& [id, unit] : units_) {
    if (!unit->ended) unit->stoppedByStation = true;
    unit->pauseEnds.reset();
    unit->session->stop();
  }
  settle();
}

bool Station::waitForRuns(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (auto& [id, unit] : units_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (!unit->session->waitForRun(std::max(left, std::chrono::milliseconds(0)))) return false;
  }
  return true;
}

void Station::abandon() {
  stopping_ = true;
  for (auto& [id, unit] : units_) {
    unit->pauseEnds.reset();
    unit->session->abandon();
  }
}

bool Station::running() const {
  for (const auto& [id, unit] : units_) {
    if (unit->session->running()) return true;
  }
  return false;
}

void Station::plugged(const std::string& link) {
  if (stopping_ || byLink_.contains(link)) return;
  UnitStart start;
  start.unit = nextId_++;
  start.link = link;
  start.port = (setup_.watchDir / link).string();
  start.adapter = ports::serialFromByIdName(link);
  auto unit = std::make_unique<Unit>(view_, start);
  session::SessionSetup setup;
  setup.sink = std::make_shared<UnitSink>(setup_.sink, start.unit);
  setup.workers = setup_.workers;
  setup.repeatPause = setup_.repeatPause;
  setup.maxRepeats = setup_.maxRepeats;
  // A unit whose port never answers must not hold its tile and port for good.
  setup.silentRuns = session::kSilentPortRuns;
  if (setup_.recorders) {
    const Unit* u = unit.get();
    // The session has its outcome by the time it tells the recorder.
    unit->recorder = std::make_shared<UnitRecorder>(setup_.recorders(), [this, u] { return ownText(*u); });
    setup.recorder = unit->recorder;
  }
  setup.explain = setup_.explain;
  unit->session = std::make_unique<session::UpdateSession>(*unit, std::move(setup));
  view_.unitStarted(start);
  engine::RunRequest request;
  request.port = start.port;
  request.adapterSerial = start.adapter;
  request.options = setup_.options;
  request.images = setup_.images;
  request.cancel = setup_.cancel.child();
  if (setup_.sleeper) request.sleeper = setup_.sleeper;
  Unit& started = *unit;
  byLink_[link] = start.unit;
  units_[start.unit] = std::move(unit);
  started.session->start(std::move(request));
}

// An adapter pulled out in the middle of its update: the run ends at its
// next exchange (on real hardware the port usually fails first), and the
// port makes no repeat. A link gone after its update frees the port.
void Station::unplugged(const std::string& link) {
  const auto found = byLink_.find(link);
  if (found == byLink_.end()) return;
  Unit& unit = *units_.at(found->second);
  if (!unit.ended) {
    unit.unplugged = true;
    unit.pauseEnds.reset();
    unit.session->stop();
    return;
  }
  const int id = found->second;
  units_.erase(id);
  byLink_.erase(found);
  view_.unitGone(id);
}

// After everything fed in: the pauses that are over, the units that have
// ended, and the end of a stopped station.
void Station::settle() {
  endDuePauses();
  reportEnded();
  if (finished() && !stoppedShown_) {
    stoppedShown_ = true;
    view_.stationStopped(counters_);
  }
}

void Station::endDuePauses() {
  const auto now = Clock::now();
  for (auto& [id, unit] : units_) {
    if (unit->pauseEnds && *unit->pauseEnds <= now) {
      unit->pauseEnds.reset();
      unit->session->pauseOver();
    }
  }
}

void Station::reportEnded() {
  std::vector<int> gone;
  for (auto& [id, unit] : units_) {
    if (unit->ended || unit->session->running() || awaitsLink(*unit)) continue;
    unit->ended = true;
    if (unit->recorder) {
      if (const auto problem = unit->recorder->release()) view_.unitNote(id, *problem);
    }
    const UnitResult result = resultOf(*unit);
    count(result.kind);
    if (result.alreadyCurrent) ++counters_.alreadyCurrent;
    view_.unitResult(result);
    view_.countersChanged(counters_);
    // A unit whose link is already gone frees its port at once.
    if (unit->unplugged) gone.push_back(id);
  }
  for (const int id : gone) {
    byLink_.erase(units_.at(id)->start().link);
    units_.erase(id);
    view_.unitGone(id);
  }
}

// On real hardware a pulled adapter fails its port first; its link goes a
// moment later, when the system has noticed. Until then (or until the
// station stops) an update that lost its line waits for its result, so
// that it is counted as unplugged rather than as a failed logger.
bool Station::awaitsLink(Unit& unit) {
  if (!unit.lineLost || unit.unplugged || stopping_) return false;
  const auto now = Clock::now();
  if (!unit.linkAwaited) unit.linkAwaited = now + setup_.unplugGrace;
  return now < *unit.linkAwaited;
}

void Station::count(ResultKind kind) {
  switch (kind) {
    case ResultKind::Pass: ++counters_.passed; break;
    case ResultKind::Fail: ++counters_.failed; break;
    case ResultKind::Unplugged: ++counters_.unplugged; break;
    case ResultKind::Stopped: ++counters_.stopped; break;
    case ResultKind::BusyElsewhere: ++counters_.busyElsewhere; break;
  }
}

// An update that ended by itself keeps its outcome; one the station ended
// (the link went, the operator stopped it) or that never got its port says
// why instead of failing the logger.
ResultKind Station::kindOf(const Unit& unit) const {
  if (unit.unplugged) return ResultKind::Unplugged;
  const auto outcome = unit.session->outcome();
  if (outcome && engine::isPassingOutcome(*outcome)) return ResultKind::Pass;
  if (unit.busyElsewhere) return ResultKind::BusyElsewhere;
  if (unit.stoppedByStation && outcome == engine::errorValue(engine::ErrorCode::Cancelled)) return ResultKind::Stopped;
  return ResultKind::Fail;
}

// What the station says of a unit's result in place of the final message;
// empty where the final message says it.
std::string Station::ownText(const Unit& unit) const {
  if (wasCurrent(unit.session->outcome())) return kAlreadyCurrentText;
  return stationText(kindOf(unit));
}

UnitResult Station::resultOf(const Unit& unit) const {
  const session::UpdateSession& s = *unit.session;
  const engine::RunSummary& summary = s.summary();
  UnitResult r;
  r.unit = unit.id();
  r.link = unit.start().link;
  r.adapter = unit.start().adapter;
  r.kind = kindOf(unit);
  r.unplugged = r.kind == ResultKind::Unplugged;
  r.pass = r.kind == ResultKind::Pass;
  r.alreadyCurrent = r.pass && wasCurrent(s.outcome());
  r.serialNumber = summary.serialNumber;
  // 0: the logger's version was never read.
  r.versionBefore = summary.applicationVersion == 0 ? "?" : images::versionWordText(summary.applicationVersion);
  r.imageVersion = r.pass && !r.alreadyCurrent ? imageVersionText(setup_.images, summary.image) : "-";
  r.duration = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - unit.started);
  r.repeats = s.attempts() - 1;
  r.code = s.outcome().value_or(1);
  const std::string own = ownText(unit);
  r.text = own.empty() ? s.finalText() : own;
  return r;
}

}  // namespace zorvik::station
