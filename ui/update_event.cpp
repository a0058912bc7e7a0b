#include "update_event.h"

#include <QCoreApplication>

namespace zorvik::ui {

QEvent::Type TUpdateEvent::type() {
  static const QEvent::Type registered = static_cast<QEvent::Type>(QEvent::registerEventType());
  return registered;
}

void EventTarget::detach() {
  std::lock_guard lock(mutex_);
  receiver_ = nullptr;
}

void EventTarget::post(std::uint32_t code, std::int32_t value) {
  // Held only while the event is queued: the window cannot go away in
  // between, and Qt drops queued events of a destroyed receiver.
  std::lock_guard lock(mutex_);
  if (receiver_) QCoreApplication::postEvent(receiver_, new TUpdateEvent(code, value));
}

void QtEventSink::post(std::uint32_t code, std::int32_t value) noexcept {
  try {
    target_->post(code, value);
  } catch (...) {
    // Out of memory for one event: nothing sensible is left to tell anyone.
  }
}

}  // namespace zorvik::ui
