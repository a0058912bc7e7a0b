#include "apps/cli/update_runner.h"

#include <optional>

#include "engine/event_queue.h"
#include "engine/event_texts.h"
#include "engine/update_error.h"
#include "session/update_session.h"

namespace zorvik::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct TaggedEvent {
  std::size_t port;
  engine::RunEvent event;
};

// The runs' events, tagged with their port, on their way to the main thread.
using PortQueue = engine::EventQueue<TaggedEvent>;

class PortSink final : public engine::EventSink {
 public:
  PortSink(std::shared_ptr<PortQueue> queue, std::size_t port) : queue_(std::move(queue)), port_(port) {}
  void post(engine::RunEvent event) noexcept override {
    try {
      queue_->push({port_, std::move(event)});
    } catch (...) {
      // Out of memory for one event: nothing sensible is left to tell anyone.
    }
  }

 private:
  std::shared_ptr<PortQueue> queue_;
  std::size_t port_;
};

// One port: its output, its session and the end of its pause, if any.
struct PortUpdate {
  std::unique_ptr<PortOutput> output;
  std::unique_ptr<session::UpdateSession> session;
  std::optional<Clock::time_point> pauseEnds;
};

std::optional<Clock::time_point> nextPauseEnd(const std::vector<PortUpdate>& updates) {
  std::optional<Clock::time_point> next;
  for (const auto& u : updates) {
    if (u.pauseEnds && (!next || *u.pauseEnds < *next)) next = u.pauseEnds;
  }
  return next;
}

void endDuePauses(std::vector<PortUpdate>& updates) {
  const auto now = Clock::now();
  for (auto& u : updates) {
    if (u.pauseEnds && *u.pauseEnds <= now) {
      u.pauseEnds.reset();
      u.session->pauseOver();
    }
  }
}

bool anyRunning(const std::vector<PortUpdate>& updates) {
  for (const auto& u : updates) {
    if (u.session->running()) return true;
  }
  return false;
}

std::vector<PortUpdate> startSessions(const UpdatePlan& plan, Console& console,
                                      const std::shared_ptr<PortQueue>& queue) {
  std::vector<PortUpdate> updates(plan.ports.size());
  for (std::size_t i = 0; i < plan.ports.size(); ++i) {
    PortUpdate& u = updates[i];
    u.output = std::make_unique<PortOutput>(console, i, plan.ports[i], plan.ports.size() > 1,
                                            [&u](std::chrono::milliseconds pause) { u.pauseEnds = Clock::now() + pause; });
    session::SessionSetup setup;
    setup.sink = std::make_shared<PortSink>(queue, i);
    setup.repeatPause = plan.repeatPause;
    setup.workers = plan.workers;
    setup.explain = plan.explain;
    setup.clock = plan.clock;
    if (plan.recorders) setup.recorder = plan.recorders();
    setup.maxRepeats = plan.maxRepeats;
    // Nobody watches a script's repeats: a port that never answers ends it.
    setup.silentRuns = session::kSilentPortRuns;
    u.session = std::make_unique<session::UpdateSession>(*u.output, std::move(setup));
  }
  for (std::size_t i = 0; i < plan.ports.size(); ++i) {
    engine::RunRequest request;
    request.port = plan.ports[i];
    request.options = plan.options;
    request.images = plan.images;
    request.cancel = plan.cancel.child();
    request.sleeper = plan.sleeper;
    if (i < plan.traces.size()) request.trace = plan.traces[i];
    if (plan.warnBefore) {
      const auto warning = plan.warnBefore(plan.ports[i]);
      if (warning) updates[i].output->note(warning->reason + ": " + warning->fix);
    }
    updates[i].session->start(std::move(request));
  }
  return updates;
}

// What --read-info found, in one line; none for any other end.
std::optional<std::string> readInfoAnswer(std::int32_t outcome, const engine::RunSummary& found,
                                          const images::ImageSource& images) {
  if (outcome != engine::errorValue(engine::ErrorCode::InfoOnly) || found.image < 0) return std::nullopt;
  return "would get image " + std::to_string(found.image) + ": " + engine::classAndVersion(images.header(found.image));
}

}  // namespace

int exitStatusFor(std::int32_t outcome) {
  switch (outcome) {
    case 0: case 10: case 11: case 20: case 30: case 40: case 41: case 42: case 43:
    case 44: case 45: case 46: case 47: case 70:
      return outcome;
    default:
      return 1;
  }
}

std::vector<int> runUpdates(const UpdatePlan& plan, Console& console) {
  auto queue = std::make_shared<PortQueue>();
  std::vector<PortUpdate> updates = startSessions(plan, console, queue);
  std::vector<bool> reported(updates.size(), false);
  std::vector<int> statuses(updates.size(), 1);
  for (;;) {
    for (std::size_t i = 0; i < updates.size(); ++i) {
      const auto outcome = updates[i].session->outcome();
      if (!reported[i] && outcome && !updates[i].session->running()) {
        statuses[i] = exitStatusFor(*outcome);
        if (const auto found = readInfoAnswer(*outcome, updates[i].session->summary(), plan.images)) {
          updates[i].output->answer(*found);
        }
        updates[i].output->finished(statuses[i]);
        reported[i] = true;
      }
    }
    if (!anyRunning(updates)) break;
    if (auto item = queue->take(nextPauseEnd(updates))) updates[item->port].session->handleEvent(item->event);
    endDuePauses(updates);
  }
  return statuses;
}

}  // namespace zorvik::cli
