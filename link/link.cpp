#include "link/link.h"

#include <algorithm>

#include "images/protocol.h"
#include "images/record_codec.h"
#include "link/crc.h"
#include "link/exchange_error.h"

namespace zorvik::link {

namespace {

// A short or empty read: nothing at all is a silent logger.
FailureKind missingAnswer(std::size_t received) {
  return received == 0 ? FailureKind::Silent : FailureKind::ShortAnswer;
}

}  // namespace

void Link::clearAndPurge() {
  if (!port_ || !port_->clearErrors()) portFailed("ClearCommError");
  if (!port_->purgeInput()) portFailed("PurgeComm");
}

void Link::portFailed(const char* call) { throw LinkError(ExchangeError::PortIo, FailureKind::PortIo, call); }

bool Link::sendCommand(bool readReply, std::uint8_t command, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
                       std::uint8_t b4, std::uint8_t b5, std::uint8_t b6) {
  if (command == kNullCommand) {
    std::fill_n(tx_.begin(), images::protocol::kFrameSize, std::uint8_t{0});
  } else {
    tx_[0] = static_cast<std::uint8_t>(command | images::protocol::kFrameCommandBit);
    tx_[1] = b1;
    tx_[2] = b2;
    tx_[3] = b3;
    tx_[4] = b4;
    tx_[5] = b5;
    tx_[6] = b6;
    tx_[7] = crc8(tx_.data(), 7);
  }
  FailureKind failed = FailureKind::None;
  for (int attempt = kAttempts;;) {
    if (cancel_.cancelled()) throw LinkError(ExchangeError::Cancelled, failed);
    failed = transferFrame(readReply);
    if (failed == FailureKind::None) return true;
    if (--attempt == 0) throw LinkError(ExchangeError::NoAnswer, failed);
    sleepMs(kAttemptPauseMs);
  }
}

FailureKind Link::transferFrame(bool readReply) {
  clearAndPurge();
  std::size_t written = 0;
  if (!port_->write(tx_.data(), images::protocol::kFrameSize, written)) portFailed("WriteFile");
  // A short write: the driver took no more within the line's time.
  if (written < images::protocol::kFrameSize) return FailureKind::PortIo;
  if (!readReply) return FailureKind::None;
  std::size_t received = 0;
  if (!port_->read(rx_.data(), images::protocol::kFrameSize, received)) portFailed("ReadFile");
  if (received < images::protocol::kFrameSize) return missingAnswer(received);
  // The CRC test comes first: a damaged reply is no answer, whatever its status bit says.
  if (crc8(rx_.data(), 7) != rx_[7]) return FailureKind::DamagedAnswer;
  if (rx_[0] & images::protocol::kFrameExceptionBit) {
    throw LinkError(ExchangeError::Refused, FailureKind::Refused, "QORN Exception!");
  }
  return FailureKind::None;
}

FailureKind Link::sendRecord(std::string_view line, std::uint8_t n, bool raiseOnFail) {
  FailureKind failed = FailureKind::None;
  for (int attempt = kAttempts;;) {
    if (cancel_.cancelled()) throw LinkError(ExchangeError::Cancelled, failed);
    failed = transferRecord(line, n);
    if (failed == FailureKind::None) return failed;
    if (--attempt == 0) {
      if (raiseOnFail) throw LinkError(ExchangeError::NoAnswer, failed);
      return failed;
    }
    sleepMs(kAttemptPauseMs);
  }
}

FailureKind Link::transferRecord(std::string_view line, std::uint8_t n) {
  rxCount_ = 0;
  clearAndPurge();
  std::size_t written = 0;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
  if (!port_->write(bytes, line.size(), written)) portFailed("WriteFile");
  if (written < line.size()) portFailed("WriteFile <> txCnt");
  if (n == 0) return FailureKind::None;
  // The reply length is an 8-bit quantity on the wire protocol.
  const auto expected = static_cast<std::uint8_t>(2 * n + 11);
  std::size_t received = 0;
  if (!port_->read(rx_.data(), expected, received)) portFailed("ReadFile");
  rxCount_ = expected;
  if (received < expected) return missingAnswer(received);
  const auto* text = reinterpret_cast<const char*>(rx_.data()) + 1;
  if (images::hexChecksum(text, n + 5) != 0) return FailureKind::DamagedAnswer;
  return FailureKind::None;
}

std::string Link::recordReply() const {
  const auto count = static_cast<std::size_t>(rxCount_ & 0xFF);
  return std::string(reinterpret_cast<const char*>(rx_.data()), count);
}

}  // namespace zorvik::link
