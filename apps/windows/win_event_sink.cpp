#include "win_event_sink.h"

namespace zorvik::win {

void EventTarget::detach() {
  std::lock_guard lock(mutex_);
  window_ = nullptr;
}

void EventTarget::post(RunEvent event) {
  // The lock is held until the message is queued: detach() cannot slip in
  // between the check and the post.
  std::lock_guard lock(mutex_);
  if (!window_) return;
  auto copy = std::make_unique<RunEvent>(std::move(event));
  if (PostMessageW(window_, kRunEventMessage, static_cast<WPARAM>(copy->code), reinterpret_cast<LPARAM>(copy.get()))) {
    copy.release();  // the window owns it now
  }
}

void WinEventSink::post(RunEvent event) noexcept {
  try {
    target_->post(std::move(event));
  } catch (...) {
    // Out of memory for one event: nothing sensible is left to tell anyone.
  }
}

std::unique_ptr<RunEvent> takeRunEvent(LPARAM lParam) {
  return std::unique_ptr<RunEvent>(reinterpret_cast<RunEvent*>(lParam));
}

void discardRunEvents(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, window, kRunEventMessage, kRunEventMessage, PM_REMOVE)) takeRunEvent(msg.lParam);
}

}  // namespace zorvik::win
