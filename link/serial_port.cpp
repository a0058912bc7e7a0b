// What every backend shares; the platform parts are in serial_port_*.cpp.
#include "link/serial_port.h"

namespace zorvik::link {

PortHandle openSerialPort(const std::string& portName, std::int32_t baudRate) {
  Failure ignored;
  return openSerialPort(portName, baudRate, ignored);
}

bool closeSerialPort(PortHandle& port) {
  if (!port) return false;
  const bool closed = port->close();
  port.reset();
  return closed;
}

}  // namespace zorvik::link
