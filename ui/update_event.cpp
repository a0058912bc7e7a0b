#include "ui/update_event.h"

#include <QCoreApplication>

namespace zorvik::ui {

QEvent::Type UpdateEvent::type() {
  // Registered once; Qt hands out the same number for the program's life.
  static const QEvent::Type registered = static_cast<QEvent::Type>(QEvent::registerEventType());
  return registered;
}

void EventTarget::detach() {
  std::lock_guard lock(mutex_);
  receiver_ = nullptr;
}

void EventTarget::post(engine::RunEvent event) {
  // Held only while the event is queued: the window cannot go away in
  // between, and Qt drops queued events of a destroyed receiver.
  std::lock_guard lock(mutex_);
  if (receiver_) QCoreApplication::postEvent(receiver_, new UpdateEvent(std::move(event)));
}

void QtEventSink::post(engine::RunEvent event) noexcept {
  try {
    target_->post(std::move(event));
  } catch (...) {
    // Out of memory for one event: nothing sensible is left to tell anyone.
  }
}

}  // namespace zorvik::ui
