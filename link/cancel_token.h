// Cancelling a run. One token belongs to one update and is shared by all its
// automatic repeats, so a cancel can never be lost between two of them and
// nothing has to be saved and restored. A child token is cancelled with its
// parent: one Ctrl-C cancels every port of a command line, while the station
// can still cancel one port alone.
//
// Thread safety: cancel() and cancelled() may be called from any thread, and
// cancel() from a signal handler through signalFlag() (a lock-free atomic).
#pragma once

#include <atomic>
#include <memory>

namespace zorvik::link {

class CancelToken {
 public:
  CancelToken() : state_(std::make_shared<State>()) {}

  // A token that is cancelled when it or this one is.
  CancelToken child() const {
    CancelToken token;
    token.state_->parent = state_;
    return token;
  }

  void cancel() const { state_->flag.store(true); }

  bool cancelled() const {
    for (const State* s = state_.get(); s != nullptr; s = s->parent.get()) {
      if (s->flag.load()) return true;
    }
    return false;
  }

  // The flag itself, for a signal handler that may do nothing but store it.
  // Valid as long as a copy of this token lives.
  std::atomic<bool>& signalFlag() const { return state_->flag; }

 private:
  struct State {
    std::atomic<bool> flag{false};
    std::shared_ptr<const State> parent;
  };
  static_assert(std::atomic<bool>::is_always_lock_free);

  std::shared_ptr<State> state_;
};

}  // namespace zorvik::link
