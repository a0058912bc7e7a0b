// Win32 comm API backend of the serial port: synchronous handle, the link's
// timeouts set in the driver, so ReadFile and WriteFile bound themselves.
#include <windows.h>

#include <system_error>

#include "link/port_timing.h"
#include "link/serial_port.h"

namespace zorvik::link {
namespace {

constexpr DWORD kQueueSize = 1000;
// Bound of the wait for the output queue to empty after a write.
constexpr ULONGLONG kDrainPerByteMs = 2;
constexpr ULONGLONG kDrainConstantMs = 50;

// A single call moves at most MAXDWORD bytes; a short count is not a failure.
DWORD clampCount(std::size_t count) {
  return count < MAXDWORD ? static_cast<DWORD>(count) : MAXDWORD;
}

class WinSerialPort final : public SerialPort {
 public:
  explicit WinSerialPort(HANDLE handle) : handle_(handle) {}
  ~WinSerialPort() override { close(); }

  bool clearErrors() override {
    DWORD errors = 0;
    COMSTAT status{};
    return isOpen() && ClearCommError(handle_, &errors, &status) != FALSE;
  }

  bool purgeInput() override {
    // Input only. Writes are drained, so there is never output to discard,
    // and PURGE_TXCLEAR would cut a frame that is still on its way.
    return isOpen() && PurgeComm(handle_, PURGE_RXCLEAR) != FALSE;
  }

  bool write(const std::uint8_t* data, std::size_t count, std::size_t& written) override {
    written = 0;
    if (!isOpen()) return false;
    DWORD done = 0;
    if (!WriteFile(handle_, data, clampCount(count), &done, nullptr)) return false;
    written = done;
    drain(done);
    return true;
  }

  bool read(std::uint8_t* data, std::size_t count, std::size_t& received) override {
    received = 0;
    if (!isOpen()) return false;
    DWORD done = 0;
    if (!ReadFile(handle_, data, clampCount(count), &done, nullptr)) return false;
    received = done;
    return true;
  }

  bool close() override {
    if (!isOpen()) return true;
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }

 private:
  bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

  // Returns once the driver's output queue is empty. Why: the bootloader
  // entry frame is sent without waiting for an answer, and the next exchange
  // purges the port a moment later while those 8 bytes need 8.3 ms at 9600
  // baud; a purge that cut the frame would leave the logger in its
  // application. Bounded, because a stuck line must not hold the caller; if
  // the bound passes, the bytes are still committed to the driver.
  void drain(DWORD written) const {
    const ULONGLONG deadline = GetTickCount64() + kDrainConstantMs + kDrainPerByteMs * written;
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!ClearCommError(handle_, &errors, &status) || status.cbOutQue == 0) return;
      if (GetTickCount64() >= deadline) return;
      Sleep(1);
    }
  }

  HANDLE handle_;
};

// A complete raw 8N1 setting without flow control, built from nothing so that
// no earlier user of the port leaves a flag behind. DTR and RTS start low.
bool applyLineSettings(HANDLE handle, std::int32_t baudRate) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = static_cast<DWORD>(baudRate);
  dcb.fBinary = 1;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 0;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = 0;
  dcb.XonLim = 0;
  dcb.XoffLim = 0;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = dcb.XoffChar = dcb.ErrorChar = dcb.EofChar = dcb.EvtChar = 0x20;
  return SetCommState(handle, &dcb) != FALSE;
}

bool applyTimeouts(HANDLE handle, std::int32_t baudRate) {
  const WriteTimeouts write = writeTimeouts(baudRate);
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = kReadTimeoutPerByteMs;
  timeouts.ReadTotalTimeoutConstant = kReadTimeoutConstantMs;
  timeouts.WriteTotalTimeoutMultiplier = write.perByteMs;
  timeouts.WriteTotalTimeoutConstant = write.constantMs;
  return SetCommTimeouts(handle, &timeouts) != FALSE;
}

// A device without modem-control lines has no DTR to raise; not a failure.
bool raiseDtr(HANDLE handle) {
  return EscapeCommFunction(handle, SETDTR) != FALSE || GetLastError() == ERROR_NOT_SUPPORTED;
}

// Only a communications device is ever configured or written: anything else
// that "\\.\" + name might reach (a volume, a pipe) is closed untouched.
bool isCommDevice(HANDLE handle) {
  DCB current{};
  current.DCBlength = sizeof(DCB);
  return GetFileType(handle) == FILE_TYPE_CHAR && GetCommState(handle, &current) != FALSE;
}

// Every user may open a COM port on Windows: "access denied" and a sharing
// violation both mean another program has it open.
FailureKind openFailureKind(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return FailureKind::NotFound;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: return FailureKind::Busy;
    default: return FailureKind::PortIo;
  }
}

Failure failed(FailureKind kind, DWORD error) {
  return {kind, static_cast<int>(error), error != 0 ? std::system_category().message(static_cast<int>(error)) : std::string()};
}

}  // namespace

std::string devicePath(const std::string& portName) { return portName; }

PortHandle openSerialPort(const std::string& portName, std::int32_t baudRate, Failure& failure) {
  failure = {};
  if (portName.empty() || baudRate <= 0) {
    failure = {FailureKind::NotFound, 0, {}};
    return nullptr;
  }
  // "\\.\" names the device directly, so COM10 and above work as well.
  const std::string path = "\\\\.\\" + portName;
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    failure = failed(openFailureKind(GetLastError()), GetLastError());
    return nullptr;
  }
  auto port = std::make_unique<WinSerialPort>(handle);  // closes the handle on every failure
  if (!isCommDevice(handle)) {
    failure = failed(FailureKind::NotATerminal, 0);
    return nullptr;
  }
  if (!applyLineSettings(handle, baudRate) || !SetupComm(handle, kQueueSize, kQueueSize) ||
      !applyTimeouts(handle, baudRate) || !raiseDtr(handle)) {  // DTR last
    failure = failed(FailureKind::SettingsRefused, GetLastError());
    return nullptr;
  }
  return port;
}

}  // namespace zorvik::link
