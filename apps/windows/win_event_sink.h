// How a run's events reach the main window: each one is posted as the
// window message WM_USER (wParam the event code, lParam a heap copy of the
// whole event, which the window frees), so posting never waits for the GUI
// thread and the window handles them in posting order.
#pragma once

#include "win_util.h"

#include <memory>
#include <mutex>

#include "event_sink.h"

namespace zorvik::win {

inline constexpr UINT kRunEventMessage = WM_USER;

// The window as a run sees it. The window detaches it before it goes away,
// so that a run that outlives the window posts into nothing instead of into
// a window handle that may by then belong to another window.
class EventTarget {
 public:
  explicit EventTarget(HWND window) : window_(window) {}
  void detach();
  void post(RunEvent event);

 private:
  std::mutex mutex_;
  HWND window_;
};

class WinEventSink final : public EventSink {
 public:
  explicit WinEventSink(std::shared_ptr<EventTarget> target) : target_(std::move(target)) {}
  void post(RunEvent event) noexcept override;

 private:
  std::shared_ptr<EventTarget> target_;
};

// The receiver's side: takes ownership of the event a WM_USER message carries.
std::unique_ptr<RunEvent> takeRunEvent(LPARAM lParam);

// Frees the events still queued for the window (it is going away).
void discardRunEvents(HWND window);

}  // namespace zorvik::win
