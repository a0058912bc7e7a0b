#include "link.h"

#include <chrono>
#include <thread>

#include "crc.h"
#include "qorn_exception.h"
#include "record_codec.h"

namespace zorvik {

std::atomic<bool> CancelRequested{false};

namespace {

class ThreadSleeper final : public Sleeper {
 public:
  void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

constexpr std::size_t kFrameSize = 8;
constexpr std::uint8_t kExceptionBit = 0x20;

}  // namespace

Sleeper& realSleeper() {
  static ThreadSleeper sleeper;
  return sleeper;
}

void LinkBase::clearAndPurge() {
  if (!FhPort || !FhPort->clearCommError()) throw EQorn(11, "ClearCommError");
  if (!FhPort->purgeComm()) throw EQorn(11, "PurgeComm");
}

bool LinkBase::sendCommand(bool readReply, std::uint8_t command, std::uint8_t b1, std::uint8_t b2,
                           std::uint8_t b3, std::uint8_t b4, std::uint8_t b5, std::uint8_t b6) {
  if (command == kNullCommand) {
    std::fill_n(FTxBuffer.begin(), kFrameSize, std::uint8_t{0});
  } else {
    FTxBuffer[0] = static_cast<std::uint8_t>(command | 0x80);
    FTxBuffer[1] = b1;
    FTxBuffer[2] = b2;
    FTxBuffer[3] = b3;
    FTxBuffer[4] = b4;
    FTxBuffer[5] = b5;
    FTxBuffer[6] = b6;
    FTxBuffer[7] = crc8(FTxBuffer.data(), 7);
  }
  for (int attempt = kAttempts;;) {
    if (CancelRequested.load()) throw EQorn(20);
    if (transferFrame(readReply)) return true;
    if (--attempt == 0) throw EQorn(30);
    sleepMs(kAttemptPauseMs);
  }
}

bool LinkBase::transferFrame(bool readReply) {
  clearAndPurge();
  std::size_t written = 0;
  if (!FhPort->writeFile(FTxBuffer.data(), kFrameSize, written)) throw EQorn(11, "WriteFile");
  if (written < kFrameSize) return false;
  if (!readReply) return true;
  std::size_t received = 0;
  if (!FhPort->readFile(FRxBuffer.data(), kFrameSize, received)) throw EQorn(11, "ReadFile");
  if (received < kFrameSize) return false;
  // The CRC test comes first: a damaged reply is no answer, whatever its status bit says.
  if (crc8(FRxBuffer.data(), 7) != FRxBuffer[7]) return false;
  if (FRxBuffer[0] & kExceptionBit) throw EQorn(41, "QORN Exception!");
  return true;
}

bool LinkBase::sendRecord(const std::string& line, std::uint8_t n, bool raiseOnFail) {
  for (int attempt = kAttempts;;) {
    if (CancelRequested.load()) throw EQorn(20);
    if (transferRecord(line, n)) return true;
    if (--attempt == 0) {
      if (raiseOnFail) throw EQorn(30);
      return false;
    }
    sleepMs(kAttemptPauseMs);
  }
}

bool LinkBase::transferRecord(const std::string& line, std::uint8_t n) {
  FRxCnt = 0;
  clearAndPurge();
  std::size_t written = 0;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
  if (!FhPort->writeFile(bytes, line.size(), written)) throw EQorn(11, "WriteFile");
  if (written < line.size()) throw EQorn(11, "WriteFile <> txCnt");
  if (n == 0) return true;
  // The reply length is an 8-bit quantity on the wire protocol.
  const auto expected = static_cast<std::uint8_t>(2 * n + 11);
  std::size_t received = 0;
  if (!FhPort->readFile(FRxBuffer.data(), expected, received)) throw EQorn(11, "ReadFile");
  FRxCnt = expected;
  if (received < expected) return false;
  const auto* text = reinterpret_cast<const char*>(FRxBuffer.data()) + 1;
  return hexChecksum(text, n + 5) == 0;
}

std::string LinkBase::getReply() const {
  const auto count = static_cast<std::size_t>(FRxCnt & 0xFF);
  return std::string(reinterpret_cast<const char*>(FRxBuffer.data()), count);
}

}  // namespace zorvik
