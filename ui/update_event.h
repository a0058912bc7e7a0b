// How the update thread's events reach the main window: each post() becomes a
// Qt event in the window's posted-event queue, so posting never waits for the
// GUI thread and the events arrive in posting order.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <memory>
#include <mutex>

#include "event_sink.h"

namespace zorvik::ui {

class TUpdateEvent final : public QEvent {
 public:
  static QEvent::Type type();
  TUpdateEvent(std::uint32_t code, std::int32_t value) : QEvent(type()), code_(code), value_(value) {}
  std::uint32_t code() const { return code_; }
  std::int32_t value() const { return value_; }

 private:
  std::uint32_t code_;
  std::int32_t value_;
};

// The receiver as the worker may see it: the window clears it when it goes
// away, so a worker that outlives the window posts into nothing.
class EventTarget {
 public:
  explicit EventTarget(QObject* receiver) : receiver_(receiver) {}
  void detach();
  void post(std::uint32_t code, std::int32_t value);

 private:
  std::mutex mutex_;
  QObject* receiver_;
};

class QtEventSink final : public EventSink {
 public:
  explicit QtEventSink(std::shared_ptr<EventTarget> target) : target_(std::move(target)) {}
  void post(std::uint32_t code, std::int32_t value) noexcept override;

 private:
  std::shared_ptr<EventTarget> target_;
};

}  // namespace zorvik::ui
