// Private to its library.
// The pseudo-terminal side of a simulated device, whatever answers behind it:
// one thread waits on the master, hands what the host wrote to the device's
// model and writes the model's answers back, each character at its time. The
// simulated logger and the trace replay are two models in one such shell.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/logger_model.h"

namespace zorvik::sim {

struct ShellAnswer {
  std::vector<TimedReply> replies;
  // The line goes dead at this time: what was due before it still goes out,
  // the rest is dropped and the master closed. kHangUpNow drops everything
  // not yet written.
  std::optional<SimClock::time_point> hangUpAt;
};

inline constexpr SimClock::time_point kHangUpNow = SimClock::time_point::min();

class PtyShell {
 public:
  // Called on the shell's thread with each read of what the host wrote.
  using Receive = std::function<ShellAnswer(std::string_view bytes, SimClock::time_point now)>;

  // charTime: how long one character of an answer takes on the line (it can
  // be read once its stop bit is through); zero: an answer arrives whole at
  // its start.
  PtyShell(Receive receive, SimClock::duration charTime);
  ~PtyShell();
  PtyShell(const PtyShell&) = delete;
  PtyShell& operator=(const PtyShell&) = delete;

  // Opens the pseudo-terminal and starts answering. False if no pty is available.
  bool start();
  // Ends the thread and closes the pseudo-terminal; the shell cannot start again.
  void stop();
  std::string devicePath() const;

  // Safe to call from any thread. A host that has read an answer finds it
  // counted in bytesSent().
  std::uint64_t bytesReceived() const;
  std::uint64_t bytesSent() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorvik::sim
