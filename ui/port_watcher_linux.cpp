// Linux: the udev monitor's descriptor joins Qt's event loop, so that device
// events arrive on the GUI thread between other events.
#include <QSocketNotifier>

#include "ports/device_monitor.h"
#include "ui/port_watcher.h"

namespace zorvik::ui {

struct PortWatcher::Impl {
  ports::DeviceMonitor monitor;
  QSocketNotifier* notifier = nullptr;
};

PortWatcher::PortWatcher(Callback onChange, QObject* parent) : QObject(parent), impl_(std::make_unique<Impl>()) {
  const int fd = impl_->monitor.fd();
  if (fd < 0) return;
  impl_->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  ports::DeviceMonitor* monitor = &impl_->monitor;
  connect(impl_->notifier, &QSocketNotifier::activated, this, [monitor, onChange = std::move(onChange)] {
    // One event per activation: the notifier fires again while more are pending.
    if (const std::optional<ports::DeviceNotification> n = monitor->receive()) onChange(*n);
  });
}

PortWatcher::~PortWatcher() {
  // The notifier must stop watching the descriptor before the monitor closes it.
  delete impl_->notifier;
}

}  // namespace zorvik::ui
