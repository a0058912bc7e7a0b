// A simulated logger on a pseudo-terminal: the updater opens devicePath() as
// its serial port and meets the logger's side of the protocol — application
// (identity, serial number, bootloader entry) and bootloader (info and
// update-ID requests, start record, echoed data lines, end record, restart).
// It keeps what was programmed and injects faults on demand.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/line_faults.h"

namespace zorvik::sim {

struct LoggerConfig {
  // Application side.
  std::uint16_t appClass = 0x6601;
  std::uint16_t appVersion = 0x061A;  // 6.26
  std::uint32_t serialNumber = 100200;
  bool startInBootloader = false;
  bool honourBootloaderEntry = true;  // false: stays in its application
  // An application before 6.0 switches on the old entry frame only, one from
  // 6.0 on on the new one only; the other frame leaves it where it is. True
  // swaps the two: a logger the updater must fail to switch.
  bool entryFramesSwapped = false;

  // Bootloader side.
  std::uint16_t bootloaderId = 0xC802;
  std::uint16_t bootloaderVersion = 0x0000;
  std::uint16_t platform = 24;
  std::uint16_t print = 53;
  std::uint16_t info = 0x0102;

  // Update identity block (first 12 bytes of the update-ID answer).
  std::uint16_t upidClass = 0x6601;
  std::uint16_t upidInfo = 0x00AB;
  std::uint16_t upidPlatform = 24;
  std::uint16_t upidPrint = 53;
  std::uint16_t upidReserve = 0xFFFF;
  bool upidCrcValid = true;

  // After the end record: the class the restarted application reports.
  // Unset: the class of the built-in image whose data lines the flash holds
  // exactly, else appClass.
  std::optional<std::uint16_t> classAfterRestart;
  bool stayInBootloaderAfterRestart = false;

  // Silence after a bootloader entry frame and after the end record.
  std::chrono::milliseconds rebootTime{0};

  // Pace every character as a 9600-baud 8N1 line would (10 bits each), both
  // ways; clockScale > 1 runs that clock faster.
  bool wireTiming = false;
  double clockScale = 1.0;

  // Seeded random line faults on top of any injected with injectFault (an
  // armed injected fault takes precedence for its request).
  std::optional<RandomFaults> randomFaults;
};

// What a request is, for aiming faults and for the log of requests.
enum class Request {
  Any,
  NullFrame,
  IdentityQuery,
  SerialQuery,
  BootloaderEntry,  // the entry frame the application's version calls for
  WrongEntryFrame,  // the entry frame of the other versions: ignored
  OtherFrame,
  InfoRequest,
  UpdateIdRequest,
  StartRecord,
  DataLine,
  EndRecord,
  OtherRecord,
};

enum class FaultKind {
  NoAnswer,           // request ignored
  ShortAnswer,        // answer one character/byte short
  BadCrc,             // frame answer with a wrong CRC-8 (exception bit set too if asked)
  BadCrcWithException,
  ExceptionBit,       // valid frame answer with status bit 0x20
  LateAnswer,         // answer after the host's read timeout has passed
  BadChecksum,        // record answer with a wrong record checksum
  AlteredEcho,        // echo with one data digit changed, checksum still right
  HangUp,             // the line goes dead: the pty master is closed
  NoColon,            // record answer led by another character, digit pairs intact
};

// Faults queue up in the order injected; only the first is armed. Request::Any
// matches the requests that are normally answered (never a null frame, an entry
// frame or an end record); naming such a kind aims at it: NoAnswer then makes
// the logger ignore it (no switch, no restart), HangUp kills the line there.
struct Fault {
  FaultKind kind;
  Request target = Request::Any;
  int skip = 0;   // matching requests to let pass before the first faulty answer
  int count = 1;  // faulty answers in a row
};

enum class Mode { Application, Bootloader, Rebooting, Dead };

struct FlashWrite {
  std::uint16_t address;  // address field of the data line
  std::string line;       // the line as received
};

class SimulatedLogger {
 public:
  explicit SimulatedLogger(LoggerConfig config = {});
  ~SimulatedLogger();
  SimulatedLogger(const SimulatedLogger&) = delete;
  SimulatedLogger& operator=(const SimulatedLogger&) = delete;

  // Opens the pseudo-terminal and starts answering. False if no pty is available.
  bool start();
  void stop();
  std::string devicePath() const;

  void injectFault(const Fault& fault);

  // Observations; safe to call from any thread.
  Mode mode() const;
  std::vector<Request> requests() const;        // every request understood, in order
  std::vector<FlashWrite> flashWrites() const;  // data lines in the order written
  std::map<std::uint16_t, std::string> flash() const;  // address -> line, as programmed
  bool programmingOpen() const;
  int restarts() const;               // completed end records
  std::uint64_t bytesReceived() const;
  std::uint64_t bytesSent() const;
  // Random line faults injected so far (all zero without randomFaults).
  LineFaultCounts lineFaultCounts() const;
  // What the restarted application reports as its class.
  std::uint16_t applicationClass() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorvik::sim
