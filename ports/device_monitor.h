// Announces serial ports arriving and going away, for a caller that waits on
// a descriptor in its own event loop (the window's, a poll loop).
#pragma once

#include <memory>
#include <optional>

#include "ports/port_rules.h"

namespace zorvik::ports {

// Platform file. Linux: a udev monitor on the tty subsystem; fd() becomes
// readable when an event is pending and receive() takes it. Windows: nothing
// to wait on (fd() is -1); the window receives WM_DEVICECHANGE instead and
// turns it into a notification with fromWinDeviceChange.
class DeviceMonitor {
 public:
  // Never fails: where no monitor can be opened, fd() is -1 and the monitor
  // stays silent.
  DeviceMonitor();
  ~DeviceMonitor();
  DeviceMonitor(const DeviceMonitor&) = delete;
  DeviceMonitor& operator=(const DeviceMonitor&) = delete;

  // The descriptor to wait on for reading; -1 when there is none. It stays
  // open, and the same, for the monitor's life.
  int fd() const;

  // One pending event; nullopt when none is pending. Never blocks.
  std::optional<DeviceNotification> receive();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorvik::ports
