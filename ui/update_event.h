// Private to its library.
// How a run's events reach the main window: each post() becomes a Qt event in
// the window's posted-event queue, so posting never waits for the GUI thread
// and the events arrive in posting order.
#pragma once

#include <QEvent>
#include <QObject>
#include <memory>
#include <mutex>

#include "engine/event_sink.h"

namespace zorvik::ui {

class UpdateEvent final : public QEvent {
 public:
  static QEvent::Type type();
  explicit UpdateEvent(engine::RunEvent event) : QEvent(type()), event_(std::move(event)) {}
  const engine::RunEvent& event() const { return event_; }

 private:
  engine::RunEvent event_;
};

// The receiver as a run may see it: the window clears it when it goes away,
// so a run that outlives the window posts into nothing.
class EventTarget {
 public:
  explicit EventTarget(QObject* receiver) : receiver_(receiver) {}
  void detach();
  void post(engine::RunEvent event);

 private:
  std::mutex mutex_;
  QObject* receiver_;
};

class QtEventSink final : public engine::EventSink {
 public:
  explicit QtEventSink(std::shared_ptr<EventTarget> target) : target_(std::move(target)) {}
  void post(engine::RunEvent event) noexcept override;

 private:
  std::shared_ptr<EventTarget> target_;
};

}  // namespace zorvik::ui
