// The two ways of talking to the logger over one open port: 8-byte command
// frames with CRC-8 and ASCII Intel HEX record exchanges. The update thread
// derives from LinkBase; everything here runs on that thread only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "serial_port.h"

namespace zorvik {

// Written by the GUI/front-end thread ("Cancel", and before each run), read by
// the update thread before every exchange attempt. Atomic; no ordering with
// other data is needed.
extern std::atomic<bool> CancelRequested;

// The protocol's fixed pauses (between attempts, before and after the end
// record) go through this, so tests can run them at once. Serial I/O timeouts
// are never faked.
class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void sleepMs(int ms) = 0;
};
Sleeper& realSleeper();

constexpr int kAttempts = 5;
constexpr int kAttemptPauseMs = 100;
constexpr std::uint8_t kNullCommand = 0xFF;

class LinkBase {
 public:
  explicit LinkBase(Sleeper& sleeper = realSleeper()) : FSleeper(&sleeper) {}
  LinkBase(const LinkBase&) = delete;
  LinkBase& operator=(const LinkBase&) = delete;
  virtual ~LinkBase() = default;

  // Command frame exchange, up to 5 attempts; command 0xFF sends the null
  // frame. Returns true or raises EQorn (20, 30, 11, 41).
  bool sendCommand(bool readReply, std::uint8_t command, std::uint8_t b1 = 0, std::uint8_t b2 = 0,
                   std::uint8_t b3 = 0, std::uint8_t b4 = 0, std::uint8_t b5 = 0, std::uint8_t b6 = 0);
  // One attempt with the frame in FTxBuffer: true, false (worth repeating), or EQorn.
  bool transferFrame(bool readReply);

  // Record exchange expecting a reply with n data bytes (2n + 11 characters;
  // none for n = 0), up to 5 attempts. After five failures: EQorn 30 if
  // raiseOnFail, else false.
  bool sendRecord(const std::string& line, std::uint8_t n, bool raiseOnFail);
  bool transferRecord(const std::string& line, std::uint8_t n);
  // The last record reply: the first FRxCnt (mod 256) characters of FRxBuffer.
  std::string getReply() const;

 protected:
  void sleepMs(int ms) { FSleeper->sleepMs(ms); }
  void clearAndPurge();

  PortHandle FhPort;
  std::array<std::uint8_t, 1501> FTxBuffer{};
  std::array<std::uint8_t, 1501> FRxBuffer{};
  std::int32_t FRxCnt = 0;

 private:
  Sleeper* FSleeper;
};

}  // namespace zorvik
