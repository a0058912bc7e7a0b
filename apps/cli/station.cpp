#include "apps/cli/station.h"

#include <chrono>
#include <cstdio>
#include <map>

#include "engine/event_texts.h"
#include "station/station_loop.h"
#include "text/json_text.h"
#include "text/utc_time.h"

namespace zorvik::cli {
namespace {

// The local time of a result line, as the report's lines carry it.
std::string timeStamp() { return engine::reportLineNow("").substr(0, 8); }

// The station as the command line shows it: a line per unit started, one
// result line per unit with the counters after it, or the same as typed JSON
// lines; in JSON each unit's events come as they do for --port, tagged with
// the unit's port link.
class ConsoleStationView final : public station::StationView {
 public:
  ConsoleStationView(Console& console, bool progressLines, std::shared_ptr<station::ResultsCsv> results)
      : console_(console), progressLines_(progressLines), results_(std::move(results)) {}

  void stationStarted(const station::StationStart& start) override {
    if (console_.json()) {
      console_.record("\"type\":\"station\",\"watch\":\"" + text::jsonEscape(start.watchDir.string()) + "\",\"links\":\"" +
                      text::jsonEscape(start.links) + "\",\"images\":\"" + text::jsonEscape(start.imagePolicy) + "\"");
      return;
    }
    console_.line("Station: every logger plugged in is updated; its measurements are erased.");
    console_.line("Watching " + start.watchDir.string() + " (" + start.links + "). Images: " + start.imagePolicy + ".");
    console_.line("A port is taken again after its logger was unplugged and the next one plugged in. Ctrl-C stops.");
  }

  void unitStarted(const station::UnitStart& unit) override {
    links_[unit.unit] = unit.link;
    if (console_.json()) {
      // The station keeps the pauses; a unit's output never schedules one.
      outputs_[unit.unit] = std::make_unique<PortOutput>(console_, 0, unit.link, true, [](auto) {});
      console_.record("\"type\":\"unit\",\"port\":\"" + text::jsonEscape(unit.link) + "\",\"adapter\":\"" +
                      text::jsonEscape(unit.adapter) + "\"");
      return;
    }
    console_.line("START " + unit.link + (unit.adapter.empty() ? "" : " adapter " + unit.adapter));
  }

  void unitLineProgress(int unit, const session::LineProgress& progress) override {
    if (!progressLines_ || console_.json() || progress.total == 0) return;
    const auto now = std::chrono::steady_clock::now();
    const auto last = lastProgress_.find(unit);
    if (last != lastProgress_.end() && now - last->second < kProgressEvery) return;
    lastProgress_[unit] = now;
    std::string line = timeStamp() + " [" + links_[unit] + "] " + std::to_string(progress.done * 100 / progress.total) +
                       "% (" + std::to_string(progress.done) + "/" + std::to_string(progress.total) + " lines";
    if (progress.timeLeft) line += ", " + session::timeLeftText(*progress.timeLeft);
    console_.line(line + ")");
  }

  void unitAttemptStarted(int unit, int attempt) override {
    if (PortOutput* json = output(unit)) json->attemptStarted(attempt);
  }
  void unitEvent(int unit, const engine::RunEvent& event, const engine::EventPresentation& p) override {
    if (PortOutput* json = output(unit)) json->eventArrived(event, p);
  }
  void unitReport(int unit, const std::string& text) override {
    if (PortOutput* json = output(unit)) json->report(text);
  }
  void unitNote(int unit, const std::string& text) override {
    if (PortOutput* json = output(unit)) json->note(text);
    else console_.line("[" + links_[unit] + "] " + text);
  }
  // In JSON the final event's line carries it, as for --port.
  void unitExplain(int unit, const std::string& reason, const std::string& fix) override {
    if (PortOutput* json = output(unit)) json->explain(reason, fix);
    else console_.line("[" + links_[unit] + "] " + reason + ": " + fix);
  }

  void unitResult(const station::UnitResult& r) override {
    printResult(r);
    if (results_ && !results_->append(r, std::chrono::system_clock::now()) && !resultsLost_) {
      resultsLost_ = true;
      console_.line("The results file " + results_->path().string() +
                    " cannot be written: this and later results are only in the lines above and the update history.");
    }
  }

  void countersChanged(const station::Counters& counters) override { printCounters(counters, false); }
  void unitGone(int unit) override {
    lastProgress_.erase(unit);
    outputs_.erase(unit);
    links_.erase(unit);
  }
  void stationStopped(const station::Counters& counters) override { printCounters(counters, true); }

 private:
  PortOutput* output(int unit) {
    const auto found = outputs_.find(unit);
    return found == outputs_.end() ? nullptr : found->second.get();
  }

  void printResult(const station::UnitResult& r) {
    const std::string serial = r.serialNumber == 0 ? "?" : std::to_string(r.serialNumber);
    const std::string word = station::resultWord(r.kind);
    if (console_.json()) {
      console_.record("\"type\":\"result\",\"time\":\"" + timeStamp() + "\",\"result\":\"" + word + "\",\"port\":\"" +
                      text::jsonEscape(r.link) + "\",\"adapter\":\"" + text::jsonEscape(r.adapter) + "\",\"serial\":" +
                      (r.serialNumber == 0 ? "null" : serial) + ",\"versionBefore\":\"" + r.versionBefore +
                      "\",\"imageVersion\":\"" + r.imageVersion + "\",\"durationMs\":" +
                      std::to_string(r.duration.count()) + ",\"repeats\":" + std::to_string(r.repeats) +
                      ",\"code\":" + std::to_string(r.code) + ",\"text\":\"" + text::jsonEscape(r.text) + "\"");
      return;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(r.duration.count()) / 1000.0);
    // Only a PASS that updated names the version written; any other result wrote none.
    std::string line = timeStamp() + " " + word + " " + r.link + " adapter " + (r.adapter.empty() ? "?" : r.adapter) +
                       " serial " + serial + " " + r.versionBefore + " -> " + r.imageVersion + " " + seconds +
                       " repeats " + std::to_string(r.repeats);
    if (!r.pass || r.alreadyCurrent) line += " \"" + r.text + "\"";
    // Green for a PASS, red for a failure of the logger; the others are no verdict on it.
    const bool failed = r.kind == station::ResultKind::Fail;
    if (r.pass || failed) console_.finalLine(line, r.pass);
    else console_.line(line);
  }

  void printCounters(const station::Counters& c, bool final) {
    if (console_.json()) {
      console_.record("\"type\":\"counters\",\"passed\":" + std::to_string(c.passed) + ",\"alreadyCurrent\":" +
                      std::to_string(c.alreadyCurrent) + ",\"failed\":" +
                      std::to_string(c.failed) + ",\"unplugged\":" + std::to_string(c.unplugged) +
                      ",\"stopped\":" + std::to_string(c.stopped) + ",\"busyElsewhere\":" +
                      std::to_string(c.busyElsewhere) + ",\"total\":" + std::to_string(c.total()) +
                      ",\"final\":" + (final ? "true" : "false"));
      return;
    }
    // The results that are no verdict on a logger are named only once they occur.
    std::string line = std::string(final ? "Station stopped: " : "") + "passed " + std::to_string(c.passed);
    if (c.alreadyCurrent != 0) line += " (already current " + std::to_string(c.alreadyCurrent) + ")";
    line += ", failed " + std::to_string(c.failed);
    if (c.unplugged != 0) line += ", unplugged " + std::to_string(c.unplugged);
    if (c.stopped != 0) line += ", stopped " + std::to_string(c.stopped);
    line += ", total " + std::to_string(c.total());
    if (c.busyElsewhere != 0) line += " (skipped, busy elsewhere: " + std::to_string(c.busyElsewhere) + ")";
    console_.line(line);
  }

  static constexpr std::chrono::seconds kProgressEvery{1};

  Console& console_;
  bool progressLines_;
  std::shared_ptr<station::ResultsCsv> results_;
  bool resultsLost_ = false;
  std::map<int, std::chrono::steady_clock::time_point> lastProgress_;
  std::map<int, std::string> links_;
  std::map<int, std::unique_ptr<PortOutput>> outputs_;
};

}  // namespace

int runStation(const StationPlan& plan, Console& console) {
  station::StationLoop loop(plan.watchDir, plan.interruptFd);
  station::StationSetup setup = plan;
  setup.sink = loop.sink();
  ConsoleStationView view(console, plan.progressLines, plan.results);
  station::Station station(std::move(setup), view);
  loop.run(station);
  return station.counters().failed == 0 ? 0 : 1;
}

}  // namespace zorvik::cli
