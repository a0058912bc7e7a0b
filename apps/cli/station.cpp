#include "station.h"

#include <poll.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

#include "event_texts.h"
#include "link_watcher.h"
#include "update_runner.h"
#include "update_session.h"

namespace zorvik::cli {
namespace {

using Clock = std::chrono::steady_clock;

// What wakes the station's loop: an event of a unit's run, the links that
// changed, or the operator stopping the station.
struct UnitEvent {
  int unit;
  RunEvent event;
};
struct LinksChanged {
  std::vector<ports::LinkChange> changes;
};
struct Stop {};
using StationItem = std::variant<UnitEvent, LinksChanged, Stop>;

class StationQueue {
 public:
  void push(StationItem item) {
    {
      std::lock_guard lock(mutex_);
      items_.push_back(std::move(item));
    }
    ready_.notify_one();
  }

  std::optional<StationItem> take(std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return !items_.empty(); };
    if (deadline) {
      if (!ready_.wait_until(lock, *deadline, ready)) return std::nullopt;
    } else {
      ready_.wait(lock, ready);
    }
    StationItem item = std::move(items_.front());
    items_.pop_front();
    return item;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<StationItem> items_;
};

class UnitSink final : public EventSink {
 public:
  UnitSink(std::shared_ptr<StationQueue> queue, int unit) : queue_(std::move(queue)), unit_(unit) {}
  void post(RunEvent event) noexcept override {
    try {
      queue_->push(UnitEvent{unit_, std::move(event)});
    } catch (...) {
      // Out of memory for one event: nothing sensible is left to tell anyone.
    }
  }

 private:
  std::shared_ptr<StationQueue> queue_;
  int unit_;
};

// Waits on the link directory and the interrupt, and tells the loop. It
// sleeps in poll() between changes: an idle station costs no CPU.
class Watch {
 public:
  Watch(const std::filesystem::path& dir, int interruptFd, std::shared_ptr<StationQueue> queue)
      : watcher_(dir), queue_(std::move(queue)) {
    if (::pipe(stopPipe_) != 0) stopPipe_[0] = stopPipe_[1] = -1;
    queue_->push(LinksChanged{watcher_.changes()});  // the links there already
    thread_ = std::jthread([this, interruptFd] { loop(interruptFd); });
  }
  ~Watch() {
    if (stopPipe_[1] >= 0) {
      const char byte = 1;
      [[maybe_unused]] const ssize_t n = ::write(stopPipe_[1], &byte, 1);
    }
    if (thread_.joinable()) thread_.join();
    for (const int fd : stopPipe_) {
      if (fd >= 0) ::close(fd);
    }
  }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

 private:
  void loop(int interruptFd) {
    for (;;) {
      pollfd fds[] = {{watcher_.fd(), POLLIN, 0}, {interruptFd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
      if (::poll(fds, 3, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[2].revents != 0) return;
      if (fds[1].revents != 0) {
        queue_->push(Stop{});
        return;
      }
      if (fds[0].revents != 0) {
        auto changes = watcher_.changes();
        if (!changes.empty()) queue_->push(LinksChanged{std::move(changes)});
      }
    }
  }

  ports::LinkWatcher watcher_;
  std::shared_ptr<StationQueue> queue_;
  int stopPipe_[2] = {-1, -1};
  std::jthread thread_;
};

std::string versionText(std::uint16_t version) {
  if (version == 0) return "?";
  char text[16];
  std::snprintf(text, sizeof text, "%d.%.2d", version >> 8, version & 0xFF);
  return text;
}

std::string imageVersionText(const ImageSource& images, int image) {
  if (image < 0) return "-";
  const ImageHeader h = images.header(image);
  char text[16];
  std::snprintf(text, sizeof text, "%d.%.2d", int{h.versionHigh}, int{h.versionLow});
  return text;
}

}  // namespace

// ---- One unit: a logger on one port link -------------------------------------

class StationUnit final : public session::SessionView {
 public:
  StationUnit(Console& console, std::string link, std::string port, std::string adapter)
      : console_(console), link_(std::move(link)), port_(std::move(port)), adapter_(std::move(adapter)) {
    if (console_.json()) json_ = std::make_unique<PortOutput>(console_, 0, link_, true, [this](auto p) { startPause(p); });
  }

  // The session, the unit's state and what the result line needs.
  std::unique_ptr<session::UpdateSession> session;
  std::optional<Clock::time_point> pauseEnds;
  Clock::time_point started = Clock::now();
  bool unplugged = false;
  bool ended = false;

  const std::string& link() const { return link_; }
  const std::string& port() const { return port_; }
  const std::string& adapter() const { return adapter_; }

  void report(const std::string& text) override {
    if (json_) json_->report(text);
  }
  void note(const std::string& text) override {
    if (json_) json_->note(text);
    else console_.line("[" + link_ + "] " + text);
  }
  void setStatus(const std::string&) override {}
  void setProgress(int) override {}
  void setTaskbarTitle(const std::string&) override {}
  void showMessage(const std::string&) override {}
  void beep() override {}
  void showControls(const session::Controls&) override {}
  void startPause(std::chrono::milliseconds pause) override { pauseEnds = Clock::now() + pause; }
  void attemptStarted(int attempt) override {
    if (json_) json_->attemptStarted(attempt);
  }
  void eventArrived(const RunEvent& event, const EventPresentation& p) override {
    if (json_) json_->eventArrived(event, p);
  }

 private:
  Console& console_;
  std::string link_;
  std::string port_;
  std::string adapter_;
  std::unique_ptr<PortOutput> json_;
};

// ---- The station --------------------------------------------------------------

class Station {
 public:
  Station(const StationPlan& plan, Console& console) : plan_(plan), console_(console) {}

  int run() {
    announce();
    Watch watch(plan_.watchDir, plan_.interruptFd, queue_);
    while (!stopping_ || anyRunning()) {
      if (auto item = queue_->take(nextPauseEnd())) std::visit([this](auto& i) { handle(i); }, *item);
      endDuePauses();
      reportEnded();
    }
    printCounters(true);
    return failed_ == 0 ? 0 : 1;
  }

 private:
  void announce() {
    const std::string which = plan_.namePrefix.empty() ? "every port link" : "links " + plan_.namePrefix + "*";
    if (console_.json()) {
      console_.record("\"type\":\"station\",\"watch\":\"" + jsonEscape(plan_.watchDir.string()) + "\",\"links\":\"" +
                    jsonEscape(which) + "\",\"images\":\"" + jsonEscape(plan_.imagePolicy) + "\"");
      return;
    }
    console_.line("Station: every logger plugged in is updated without asking.");
    console_.line("Watching " + plan_.watchDir.string() + " (" + which + "). Images: " + plan_.imagePolicy + ".");
    console_.line("A port is taken again after its logger was unplugged and the next one plugged in. Ctrl-C stops.");
  }

  void handle(UnitEvent& e) {
    const auto unit = units_.find(e.unit);
    if (unit != units_.end()) unit->second->session->handleEvent(e.event);
  }

  void handle(LinksChanged& c) {
    for (const auto& change : c.changes) {
      if (!plan_.namePrefix.empty() && change.name.rfind(plan_.namePrefix, 0) != 0) continue;
      if (change.kind == ports::LinkChange::Kind::Appeared) plugged(change.name);
      else unpluggedLink(change.name);
    }
  }

  void handle(Stop&) {
    stopping_ = true;
    for (auto& [id, unit] : units_) {
      unit->pauseEnds.reset();
      unit->session->stop();
    }
  }

  void plugged(const std::string& link) {
    if (stopping_ || byLink_.contains(link)) return;
    const int id = nextId_++;
    const std::string port = (plan_.watchDir / link).string();
    auto unit = std::make_unique<StationUnit>(console_, link, port, ports::serialFromByIdName(link));
    session::SessionSetup setup;
    setup.sink = std::make_shared<UnitSink>(queue_, id);
    setup.workers = plan_.workers;
    setup.repeatPause = plan_.repeatPause;
    setup.maxRepeats = plan_.maxRepeats;
    if (plan_.recorders) setup.recorder = plan_.recorders();
    unit->session = std::make_unique<session::UpdateSession>(*unit, std::move(setup));
    startLine(*unit);
    RunRequest request;
    request.port = port;
    request.options = plan_.options;
    request.images = plan_.images;
    request.cancel = plan_.cancel.child();
    request.sleeper = plan_.sleeper;
    request.adapterSerial = unit->adapter();
    StationUnit& started = *unit;
    byLink_[link] = id;
    units_[id] = std::move(unit);
    started.session->start(std::move(request));
  }

  // An adapter pulled out in the middle of its update: the run ends at its
  // next exchange (on real hardware the port usually fails first), and the
  // port makes no repeat. A link gone after its update frees the port.
  void unpluggedLink(const std::string& link) {
    const auto found = byLink_.find(link);
    if (found == byLink_.end()) return;
    StationUnit& unit = *units_.at(found->second);
    if (!unit.ended) {
      unit.unplugged = true;
      unit.pauseEnds.reset();
      unit.session->stop();
      return;
    }
    units_.erase(found->second);
    byLink_.erase(found);
  }

  void startLine(const StationUnit& unit) {
    if (console_.json()) {
      console_.record("\"type\":\"unit\",\"port\":\"" + jsonEscape(unit.link()) + "\",\"adapter\":\"" +
                    jsonEscape(unit.adapter()) + "\"");
      return;
    }
    console_.line("START " + unit.link() + (unit.adapter().empty() ? "" : " adapter " + unit.adapter()));
  }

  void reportEnded() {
    for (auto& [id, unit] : units_) {
      if (unit->ended || unit->session->running()) continue;
      unit->ended = true;
      resultLine(*unit);
      printCounters(false);
      // A unit whose link is already gone frees its port at once.
      if (unit->unplugged) gone_.push_back(id);
    }
    for (const int id : gone_) {
      byLink_.erase(units_.at(id)->link());
      units_.erase(id);
    }
    gone_.clear();
  }

  void resultLine(const StationUnit& unit) {
    const session::UpdateSession& s = *unit.session;
    const bool pass = s.outcome() == 0 && !unit.unplugged;
    (pass ? passed_ : failed_)++;
    const RunSummary& summary = s.summary();
    const std::string text = unit.unplugged ? "adapter unplugged" : s.finalText();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - unit.started);
    const std::string serial = summary.serialNumber == 0 ? "?" : std::to_string(summary.serialNumber);
    const std::string before = versionText(summary.applicationVersion);
    const std::string after = pass ? imageVersionText(plan_.images, summary.image) : "-";
    if (console_.json()) {
      console_.record("\"type\":\"result\",\"result\":\"" + std::string(pass ? "PASS" : "FAIL") + "\",\"port\":\"" +
                    jsonEscape(unit.link()) + "\",\"adapter\":\"" + jsonEscape(unit.adapter()) + "\",\"serial\":\"" +
                    (summary.serialNumber == 0 ? "" : serial) + "\",\"versionBefore\":\"" + before +
                    "\",\"imageVersion\":\"" + after + "\",\"durationMs\":" + std::to_string(took.count()) +
                    ",\"repeats\":" + std::to_string(s.attempts() - 1) + ",\"code\":" +
                    std::to_string(s.outcome().value_or(1)) + ",\"text\":\"" + jsonEscape(text) + "\"");
      return;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(took.count()) / 1000.0);
    std::string line = std::string(pass ? "PASS " : "FAIL ") + unit.link() + " adapter " +
                       (unit.adapter().empty() ? "?" : unit.adapter()) + " serial " + serial + " " + before + " -> " +
                       after + " " + seconds + " repeats " + std::to_string(s.attempts() - 1);
    if (!pass) line += " \"" + text + "\"";
    console_.finalLine(line, pass);
  }

  void printCounters(bool final) {
    const int total = passed_ + failed_;
    if (console_.json()) {
      console_.record("\"type\":\"counters\",\"passed\":" + std::to_string(passed_) + ",\"failed\":" +
                    std::to_string(failed_) + ",\"total\":" + std::to_string(total) +
                    ",\"final\":" + (final ? "true" : "false"));
      return;
    }
    console_.line(std::string(final ? "Station stopped: " : "") + "passed " + std::to_string(passed_) + ", failed " +
                  std::to_string(failed_) + ", total " + std::to_string(total));
  }

  bool anyRunning() const {
    for (const auto& [id, unit] : units_) {
      if (unit->session->running()) return true;
    }
    return false;
  }

  std::optional<Clock::time_point> nextPauseEnd() const {
    std::optional<Clock::time_point> next;
    for (const auto& [id, unit] : units_) {
      if (unit->pauseEnds && (!next || *unit->pauseEnds < *next)) next = unit->pauseEnds;
    }
    return next;
  }

  void endDuePauses() {
    const auto now = Clock::now();
    for (auto& [id, unit] : units_) {
      if (unit->pauseEnds && *unit->pauseEnds <= now) {
        unit->pauseEnds.reset();
        unit->session->pauseOver();
      }
    }
  }

  const StationPlan& plan_;
  Console& console_;
  std::shared_ptr<StationQueue> queue_ = std::make_shared<StationQueue>();
  std::map<int, std::unique_ptr<StationUnit>> units_;
  std::map<std::string, int> byLink_;
  std::vector<int> gone_;
  int nextId_ = 1;
  int passed_ = 0;
  int failed_ = 0;
  bool stopping_ = false;
};

int runStation(const StationPlan& plan, Console& console) { return Station(plan, console).run(); }

}  // namespace zorvik::cli
