// A sleeper that records the protocol's pauses instead of sleeping. Needs
// only the link's Sleeper, so every test folder can use it.
#pragma once

#include <mutex>
#include <vector>

#include "link/sleeper.h"

namespace zorvik::testing {

class RecordingSleeper final : public link::Sleeper {
 public:
  void sleepMs(int ms) override {
    std::lock_guard lock(mutex_);
    pauses_.push_back(ms);
  }
  std::vector<int> pauses() const {
    std::lock_guard lock(mutex_);
    return pauses_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> pauses_;
};

}  // namespace zorvik::testing
