#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <system_error>

#include "ports/link_watcher.h"

namespace zorvik::ports {
namespace {

constexpr std::uint32_t kDirEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB;
constexpr std::uint32_t kParentEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

std::set<std::string> linksIn(const std::filesystem::path& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::error_code linkError;
    if (entry.is_symlink(linkError)) names.insert(entry.path().filename().string());
  }
  return names;
}

// The nearest existing directory on the way up to the root.
std::filesystem::path nearestExisting(std::filesystem::path dir) {
  std::error_code ec;
  while (!std::filesystem::is_directory(dir, ec) && dir.has_parent_path() && dir.parent_path() != dir) {
    dir = dir.parent_path();
  }
  return dir;
}

}  // namespace

struct LinkWatcher::Impl {
  int fd = -1;
  std::vector<int> watches;  // the directory's first when dirWatched
  bool dirWatched = false;
  std::set<std::string> known;

  ~Impl() {
    if (fd >= 0) ::close(fd);
  }

  // What the pending events tell: the names that went away from the
  // directory, and whether the watches must move (the directory, or one on
  // the way to it, came or went).
  struct Drained {
    std::set<std::string> removed;
    bool rearm = false;
  };

  // Reads every pending event. A link removed and made again between two
  // looks at the directory is a new logger on that port, although the
  // directory looks the same. Events of watches given up by arm() (their
  // IN_IGNORED above all) are left aside: re-arming for them would queue the
  // next IN_IGNORED and keep the descriptor readable for ever.
  Drained drain() const {
    Drained d;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) return d;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if ((event->mask & IN_Q_OVERFLOW) != 0) {
          d.rearm = true;
          continue;
        }
        if (std::find(watches.begin(), watches.end(), event->wd) == watches.end()) continue;
        const bool inDir = dirWatched && event->wd == watches.front();
        if (!inDir) {
          d.rearm = true;  // a parent: the directory may have come or gone
          continue;
        }
        if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) d.rearm = true;
        if (event->len > 0 && (event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0) d.removed.insert(event->name);
      }
    }
  }

  // Watch the directory itself and, in case it goes away or is not there yet,
  // every existing directory up to the nearest one that exists.
  void arm(const std::filesystem::path& dir) {
    for (const int wd : watches) ::inotify_rm_watch(fd, wd);
    watches.clear();
    dirWatched = false;
    const std::filesystem::path existing = nearestExisting(dir);
    if (existing == dir) {
      const int wd = ::inotify_add_watch(fd, dir.c_str(), kDirEvents);
      if (wd >= 0) watches.push_back(wd);
      dirWatched = wd >= 0;
      // The parent too: the directory's own removal is then seen either way.
      const int parent = ::inotify_add_watch(fd, dir.parent_path().c_str(), kParentEvents);
      if (parent >= 0) watches.push_back(parent);
      return;
    }
    const int wd = ::inotify_add_watch(fd, existing.c_str(), kParentEvents);
    if (wd >= 0) watches.push_back(wd);
  }
};

LinkWatcher::LinkWatcher(std::filesystem::path dir) : dir_(std::move(dir)), impl_(std::make_unique<Impl>()) {
  impl_->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (impl_->fd >= 0) impl_->arm(dir_);
}

LinkWatcher::~LinkWatcher() = default;

int LinkWatcher::fd() const { return impl_->fd; }

std::vector<LinkChange> LinkWatcher::changes() {
  // Whatever the events said, the directory as it is now decides: a burst of
  // events (or a lost one, when the queue overflows) cannot leave the known
  // set wrong. The directory holds a handful of links.
  std::set<std::string> removed;
  if (impl_->fd >= 0) {
    Impl::Drained drained = impl_->drain();
    removed = std::move(drained.removed);
    // The watches move only when the directory came or went: re-arming
    // without need would lose the events queued in between.
    std::error_code ec;
    if (drained.rearm || impl_->dirWatched != std::filesystem::is_directory(dir_, ec)) impl_->arm(dir_);
  }
  const std::set<std::string> now = linksIn(dir_);
  std::vector<LinkChange> result;
  for (const auto& name : impl_->known) {
    if (!now.contains(name) || removed.contains(name)) result.push_back({LinkChange::Kind::Vanished, name});
  }
  for (const auto& name : now) {
    if (!impl_->known.contains(name) || removed.contains(name)) result.push_back({LinkChange::Kind::Appeared, name});
  }
  impl_->known = now;
  return result;
}

}  // namespace zorvik::ports
