// The protocol's fixed pauses (between attempts, after the wake-up frames,
// before and after the end record) go through a Sleeper, so that tests, fuzz
// targets and tools can run them at once. Serial I/O timeouts are never faked:
// they stay real, against a real (pseudo-)terminal.
#pragma once

#include <chrono>
#include <thread>

namespace zorvik::link {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void sleepMs(int ms) = 0;
};

class ThreadSleeper final : public Sleeper {
 public:
  void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

// Every pause over at once.
class NoPauses final : public Sleeper {
 public:
  void sleepMs(int) override {}
};

}  // namespace zorvik::link
