// "Check port": the doctor's checks of one port (diagnostics::checkPort) on
// a thread of their own. The last check is a wake-up exchange with the
// logger that takes a second or two when nothing answers, and the window
// must keep painting meanwhile. The thread shares nothing with the window:
// it gets the port's name by value and posts the findings back in a message
// that owns them.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "apps/windows/win_event_sink.h"
#include "diagnostics/finding.h"

namespace zorvik::win {

// lParam: a PortCheckResult, owned by the receiver (takePosted).
inline constexpr UINT kPortCheckMessage = WM_APP + 3;

struct PortCheckResult {
  std::string port;
  std::vector<diagnostics::Finding> findings;
};

class PortCheck {
 public:
  // Checks `port` aside; the findings are posted to `target` as
  // kPortCheckMessage. The caller starts the next check only once the last
  // one's result arrived, so that the thread to be replaced has nothing left
  // to do.
  void start(std::shared_ptr<EventTarget> target, std::string port);

 private:
  // A check still under way when the program ends is waited for, so that it
  // closes the port properly; its result goes nowhere (the window has
  // detached its target by then).
  std::jthread thread_;
};

// The window's texts: the one while the check runs, the findings as the
// command line's doctor prints them (one line each, then its summary line),
// and the one for an empty port box.
std::string checkingText(const std::string& port);
std::string findingsText(const std::vector<diagnostics::Finding>& findings);
std::string noPortText();

}  // namespace zorvik::win
