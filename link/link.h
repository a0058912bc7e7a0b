// The two ways of talking to the logger over one open port: 8-byte command
// frames with CRC-8 and ASCII Intel HEX record exchanges. One Link belongs to
// one run and is used by that run's thread only; everything it holds (port,
// buffers, the last reply) is the run's own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "images/protocol.h"
#include "link/cancel_token.h"
#include "link/failure.h"
#include "link/serial_port.h"
#include "link/sleeper.h"

namespace zorvik::link {

constexpr int kAttempts = 5;
constexpr int kAttemptPauseMs = 100;
constexpr std::uint8_t kNullCommand = 0xFF;

class Link {
 public:
  using Buffer = std::array<std::uint8_t, 1501>;

  // The cancel token is tested before every exchange attempt.
  Link(Sleeper& sleeper, CancelToken cancel) : sleeper_(&sleeper), cancel_(std::move(cancel)) {}
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  virtual ~Link() { closePort(); }

  void attachPort(PortHandle port) { port_ = std::move(port); }
  bool hasPort() const { return port_ != nullptr; }
  void closePort() { closeSerialPort(port_); }

  // Command frame exchange, up to 5 attempts; command 0xFF sends the null
  // frame. Returns true or throws LinkError (20, 30, 11, 41).
  bool sendCommand(bool readReply, std::uint8_t command, std::uint8_t b1 = 0, std::uint8_t b2 = 0,
                   std::uint8_t b3 = 0, std::uint8_t b4 = 0, std::uint8_t b5 = 0, std::uint8_t b6 = 0);
  bool sendCommand(bool readReply, const images::protocol::Command& c) {
    const auto& a = c.arguments;
    return sendCommand(readReply, c.code, a[0], a[1], a[2], a[3], a[4], a[5]);
  }
  // One attempt with the frame in the send buffer: FailureKind::None when it
  // went through, the way it failed when that is worth repeating, or
  // LinkError.
  FailureKind transferFrame(bool readReply);

  // Record exchange expecting a reply with n data bytes (2n + 11 characters;
  // none for n = 0), up to 5 attempts. FailureKind::None when it went
  // through; after five failures LinkError 30 if raiseOnFail, else the way the
  // last attempt failed. Port failures and a cancel always throw.
  FailureKind sendRecord(std::string_view line, std::uint8_t n, bool raiseOnFail);
  FailureKind transferRecord(std::string_view line, std::uint8_t n);
  // The last record reply: the first (expected length mod 256) characters
  // of the receive buffer.
  std::string recordReply() const;

  // The bytes of the last reply read.
  const Buffer& received() const { return rx_; }

 private:
  void sleepMs(int ms) { sleeper_->sleepMs(ms); }
  void clearAndPurge();
  [[noreturn]] void portFailed(const char* call);

  Sleeper* sleeper_;
  CancelToken cancel_;
  PortHandle port_;
  Buffer tx_{};
  Buffer rx_{};
  std::int32_t rxCount_ = 0;
};

}  // namespace zorvik::link
