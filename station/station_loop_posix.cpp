#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <type_traits>
#include <variant>

#include "engine/event_queue.h"
#include "station/station_loop.h"

namespace zorvik::station {
namespace {

// What wakes the loop: an event of a unit's run, the links that changed, or
// the operator stopping the station.
struct UnitEvent {
  int unit;
  engine::RunEvent event;
};
struct LinksChanged {
  std::vector<ports::LinkChange> changes;
};
struct Stop {};
using LoopItem = std::variant<UnitEvent, LinksChanged, Stop>;

// The loop's one queue: the runs post into it as the station's sink, the
// watching thread pushes the link changes and the stop.
class LoopQueue final : public StationSink, public engine::EventQueue<LoopItem> {
 public:
  void post(int unit, engine::RunEvent event) noexcept override {
    try {
      push(UnitEvent{unit, std::move(event)});
    } catch (...) {
      // Out of memory for one event: nothing sensible is left to tell anyone.
    }
  }
};

// Waits on the link directory, the interrupt and its own stop pipe, and
// tells the queue. It sleeps in poll() between changes.
class Watch {
 public:
  Watch(const std::filesystem::path& dir, int interruptFd, int stopFd, std::shared_ptr<LoopQueue> queue)
      : watcher_(dir), queue_(std::move(queue)) {
    if (::pipe(endPipe_) != 0) endPipe_[0] = endPipe_[1] = -1;
    queue_->push(LinksChanged{watcher_.changes()});  // the links there already
    thread_ = std::jthread([this, interruptFd, stopFd] { loop(interruptFd, stopFd); });
  }
  ~Watch() {
    if (endPipe_[1] >= 0) {
      const char byte = 1;
      [[maybe_unused]] const ssize_t n = ::write(endPipe_[1], &byte, 1);
    }
    if (thread_.joinable()) thread_.join();
    for (const int fd : endPipe_) {
      if (fd >= 0) ::close(fd);
    }
  }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

 private:
  void loop(int interruptFd, int stopFd) {
    for (;;) {
      pollfd fds[] = {{watcher_.fd(), POLLIN, 0},
                      {interruptFd, POLLIN, 0},
                      {stopFd, POLLIN, 0},
                      {endPipe_[0], POLLIN, 0}};
      if (::poll(fds, 4, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[3].revents != 0) return;
      if (fds[1].revents != 0 || fds[2].revents != 0) {
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
  std::shared_ptr<LoopQueue> queue_;
  int endPipe_[2] = {-1, -1};
  std::jthread thread_;
};

}  // namespace

struct StationLoop::Impl {
  std::filesystem::path watchDir;
  int interruptFd = -1;
  int stopPipe[2] = {-1, -1};
  std::shared_ptr<LoopQueue> queue = std::make_shared<LoopQueue>();

  ~Impl() {
    for (const int fd : stopPipe) {
      if (fd >= 0) ::close(fd);
    }
  }
};

StationLoop::StationLoop(std::filesystem::path watchDir, int interruptFd) : impl_(std::make_shared<Impl>()) {
  impl_->watchDir = std::move(watchDir);
  impl_->interruptFd = interruptFd;
  if (::pipe(impl_->stopPipe) != 0) impl_->stopPipe[0] = impl_->stopPipe[1] = -1;
}

StationLoop::~StationLoop() = default;

std::shared_ptr<StationSink> StationLoop::sink() const { return impl_->queue; }

void StationLoop::stop() {
  if (impl_->stopPipe[1] < 0) return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(impl_->stopPipe[1], &byte, 1);
}

void StationLoop::run(Station& station) {
  station.begin();
  Watch watch(impl_->watchDir, impl_->interruptFd, impl_->stopPipe[0], impl_->queue);
  while (!station.finished()) {
    if (auto item = impl_->queue->take(station.nextDeadline())) {
      std::visit(
          [&station](auto& i) {
            using Item = std::decay_t<decltype(i)>;
            if constexpr (std::is_same_v<Item, UnitEvent>) station.unitEvent(i.unit, i.event);
            else if constexpr (std::is_same_v<Item, LinksChanged>) station.linksChanged(i.changes);
            else station.stop();
          },
          *item);
    } else {
      station.timePassed();
    }
  }
}

}  // namespace zorvik::station
