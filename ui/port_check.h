// Private to its library.
// One check of a port on a thread of its own. The checks end with a wake-up
// exchange with the logger that takes a second or two when nothing answers,
// and the window must keep painting meanwhile; the findings come back to the
// window's thread as a queued call, so nothing is shared while the check runs.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/finding.h"

namespace zorvik::ui {

class PortCheck {
 public:
  using Findings = std::vector<diagnostics::Finding>;
  using Done = std::function<void(const Findings&)>;

  // Starts checking `port`. `done` runs with the findings on `receiver`'s
  // thread, by a queued call; `receiver` must outlive this object (a call
  // still queued when it goes is dropped with it).
  PortCheck(std::string port, QObject* receiver, Done done);
  // Waits for the thread: the checks are bounded, a few seconds at most.
  ~PortCheck();
  PortCheck(const PortCheck&) = delete;
  PortCheck& operator=(const PortCheck&) = delete;

  // The findings are on their way (or the thread is about to end).
  bool finished() const { return finished_.load(); }

 private:
  void run();

  const std::string port_;
  QObject* const receiver_;
  const Done done_;
  std::atomic<bool> finished_{false};
  std::thread thread_;  // last: it starts once everything it reads is set
};

}  // namespace zorvik::ui
