// Private to its library.
// Tells the main window when a device arrives or goes away (platform file).
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "ports/port_rules.h"

namespace zorvik::ui {

class PortWatcher : public QObject {
 public:
  using Callback = std::function<void(const ports::DeviceNotification&)>;
  // Calls onChange on the GUI thread for every device notification. Where the
  // system offers no notifications the watcher stays silent.
  PortWatcher(Callback onChange, QObject* parent);
  ~PortWatcher() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorvik::ui
