// Which USB adapter a port belongs to, in the terms a user can check: the
// adapter's serial number and its stable name under /dev/serial/by-id. The
// tty name itself (ttyUSB0) depends on the order adapters were plugged in.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "ports/port_description.h"

namespace zorvik::ports {

// Empty strings where a part is unknown: a pseudo-terminal or a built-in
// UART has neither.
struct AdapterIdentity {
  std::string usbSerial;  // the USB device's serial number, e.g. "FT4ABC12"
  std::string byIdName;   // the by-id link's file name, e.g. "usb-FTDI_..._FT4ABC12-if00-port0"
  friend bool operator==(const AdapterIdentity&, const AdapterIdentity&) = default;
};

// The two parts of the port's description (port_description.h) a person
// checks the adapter by. Windows: both empty.
AdapterIdentity adapterIdentity(const std::string& devnode);

#ifndef _WIN32
// The same with the directory of by-id links given.
AdapterIdentity adapterIdentity(const std::string& devnode, const std::filesystem::path& byIdDir);
#endif

}  // namespace zorvik::ports
