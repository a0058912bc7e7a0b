// How a run's events reach the main window: each one is posted as the
// window message WM_USER (wParam the event code, lParam a heap copy of the
// whole event, which the window frees), so posting never waits for the GUI
// thread and the window handles them in posting order. Other work done
// aside (the port check) hands its result back the same way.
#pragma once

#include "apps/windows/win_util.h"

#include <memory>
#include <mutex>

#include "engine/event_sink.h"

namespace zorvik::win {

inline constexpr UINT kRunEventMessage = WM_USER;

// The window as a run sees it. The window detaches it before it goes away,
// so that a run that outlives the window posts into nothing instead of into
// a window handle that may by then belong to another window.
class EventTarget {
 public:
  explicit EventTarget(HWND window) : window_(window) {}
  void detach();
  void post(engine::RunEvent event);

  // Posts `message` with `payload` as its lParam; the window owns the
  // payload once it is posted (takePosted), and it is freed here when the
  // window is detached or the post fails.
  template <class Payload>
  void post(UINT message, WPARAM wParam, std::unique_ptr<Payload> payload) {
    // The lock is held until the message is queued: detach() cannot slip in
    // between the check and the post.
    std::lock_guard lock(mutex_);
    if (window_ && PostMessageW(window_, message, wParam, reinterpret_cast<LPARAM>(payload.get()))) {
      payload.release();  // the window owns it now
    }
  }

 private:
  std::mutex mutex_;
  HWND window_;
};

class WinEventSink final : public engine::EventSink {
 public:
  explicit WinEventSink(std::shared_ptr<EventTarget> target) : target_(std::move(target)) {}
  void post(engine::RunEvent event) noexcept override;

 private:
  std::shared_ptr<EventTarget> target_;
};

// The receiver's side: takes ownership of the payload a posted message carries.
template <class Payload>
std::unique_ptr<Payload> takePosted(LPARAM lParam) {
  return std::unique_ptr<Payload>(reinterpret_cast<Payload*>(lParam));
}

// Frees the payloads of `message` still queued for the window (it is going away).
template <class Payload>
void discardPosted(HWND window, UINT message) {
  MSG msg;
  while (PeekMessageW(&msg, window, message, message, PM_REMOVE)) takePosted<Payload>(msg.lParam);
}

inline std::unique_ptr<engine::RunEvent> takeRunEvent(LPARAM lParam) { return takePosted<engine::RunEvent>(lParam); }
inline void discardRunEvents(HWND window) { discardPosted<engine::RunEvent>(window, kRunEventMessage); }

}  // namespace zorvik::win
