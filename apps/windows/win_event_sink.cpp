#include "apps/windows/win_event_sink.h"

namespace zorvik::win {

void EventTarget::detach() {
  std::lock_guard lock(mutex_);
  window_ = nullptr;
}

void EventTarget::post(engine::RunEvent event) {
  const auto code = static_cast<WPARAM>(event.code);
  post(kRunEventMessage, code, std::make_unique<engine::RunEvent>(std::move(event)));
}

void WinEventSink::post(engine::RunEvent event) noexcept {
  try {
    target_->post(std::move(event));
  } catch (...) {
    // Out of memory for one event: nothing sensible is left to tell anyone.
  }
}

}  // namespace zorvik::win
