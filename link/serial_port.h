// One open serial port, as the link needs it. Backends: serial_port_posix.cpp
// (termios) and serial_port_win.cpp (Win32 comm API); CMake compiles one.
//
// Contract of every backend:
// - openSerialPort configures raw 8N1 lines at the given baud rate, no
//   flow control, RTS low and DTR raised last; the port is held exclusively.
//   It returns nullptr (the invalid handle) on any failure and then holds
//   nothing. Only a terminal device is ever configured or written.
// - read returns at the latest 200 ms + 1 ms per requested byte after it
//   started, with whatever arrived (possibly nothing).
// - write returns when its bytes have left the computer, bounded by the
//   write timeout, so that a purge right after cannot cut a frame.
// - purgeInput discards unread input (never pending output, see above).
// - A false result means the system call failed (the link maps it to error
//   11); a short count is not a failure of the call.
// Thread safety: one port is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/failure.h"

namespace zorvik::link {

class SerialPort {
 public:
  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  virtual ~SerialPort() = default;

  // Clears a pending line error that would block further I/O (Win32) and
  // checks the port is still usable.
  virtual bool clearErrors() = 0;
  virtual bool purgeInput() = 0;
  virtual bool write(const std::uint8_t* data, std::size_t count, std::size_t& written) = 0;
  virtual bool read(std::uint8_t* data, std::size_t count, std::size_t& received) = 0;
  virtual bool close() = 0;
};

// nullptr is the invalid handle value.
using PortHandle = std::unique_ptr<SerialPort>;

// The device a port name stands for: on POSIX a bare name ("ttyUSB0") lives
// under /dev/, a path is taken as it is; on Windows the name itself (COM5).
std::string devicePath(const std::string& portName);

PortHandle openSerialPort(const std::string& portName, std::int32_t baudRate);
// The same, saying why when it fails (`failure` is reset on success).
PortHandle openSerialPort(const std::string& portName, std::int32_t baudRate, Failure& failure);
// Closes and releases the port (a null handle is left alone); callers ignore
// the result.
bool closeSerialPort(PortHandle& port);

// Read timeout of the link: constant part and per requested byte. Writes
// are bounded by their time on the line (port_timing.h).
constexpr int kReadTimeoutConstantMs = 200;
constexpr int kReadTimeoutPerByteMs = 1;

}  // namespace zorvik::link
