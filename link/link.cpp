#include "link/link.h"

#include <algorithm>

#include "images/protocol.h"
#include "images/record_codec.h"
#include "link/crc.h"
#include "link/update_error.h"

namespace zorvik {

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

void Link::portFailed(const char* call) {
  noteFailure(FailureKind::PortIo);
  throw UpdateError(kErrPortIo, call);
}

bool Link::sendCommand(bool readReply, std::uint8_t command, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
                       std::uint8_t b4, std::uint8_t b5, std::uint8_t b6) {
  if (command == kNullCommand) {
    std::fill_n(tx_.begin(), protocol::kFrameSize, std::uint8_t{0});
  } else {
    tx_[0] = static_cast<std::uint8_t>(command | protocol::kFrameCommandBit);
    tx_[1] = b1;
    tx_[2] = b2;
    tx_[3] = b3;
    tx_[4] = b4;
    tx_[5] = b5;
    tx_[6] = b6;
    tx_[7] = crc8(tx_.data(), 7);
  }
  for (int attempt = kAttempts;;) {
    if (cancel_.cancelled()) throw UpdateError(kErrCancelled);
    if (transferFrame(readReply)) return true;
    if (--attempt == 0) throw UpdateError(kErrNoAnswer);
    sleepMs(kAttemptPauseMs);
  }
}

bool Link::transferFrame(bool readReply) {
  clearAndPurge();
  std::size_t written = 0;
  if (!port_->write(tx_.data(), protocol::kFrameSize, written)) portFailed("WriteFile");
  if (written < protocol::kFrameSize) {
    noteFailure(FailureKind::PortIo);  // the driver took no more within the line's time
    return false;
  }
  noteFailure(FailureKind::None);
  if (!readReply) return true;
  std::size_t received = 0;
  if (!port_->read(rx_.data(), protocol::kFrameSize, received)) portFailed("ReadFile");
  if (received < protocol::kFrameSize) {
    noteFailure(missingAnswer(received));
    return false;
  }
  // The CRC test comes first: a damaged reply is no answer, whatever its status bit says.
  if (crc8(rx_.data(), 7) != rx_[7]) {
    noteFailure(FailureKind::DamagedAnswer);
    return false;
  }
  if (rx_[0] & protocol::kFrameExceptionBit) {
    noteFailure(FailureKind::Refused);
    throw UpdateError(kErrLoggerException, "QORN Exception!");
  }
  return true;
}

bool Link::sendRecord(std::string_view line, std::uint8_t n, bool raiseOnFail) {
  for (int attempt = kAttempts;;) {
    if (cancel_.cancelled()) throw UpdateError(kErrCancelled);
    if (transferRecord(line, n)) return true;
    if (--attempt == 0) {
      if (raiseOnFail) throw UpdateError(kErrNoAnswer);
      return false;
    }
    sleepMs(kAttemptPauseMs);
  }
}

bool Link::transferRecord(std::string_view line, std::uint8_t n) {
  rxCount_ = 0;
  clearAndPurge();
  std::size_t written = 0;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
  if (!port_->write(bytes, line.size(), written)) portFailed("WriteFile");
  if (written < line.size()) portFailed("WriteFile <> txCnt");
  noteFailure(FailureKind::None);
  if (n == 0) return true;
  // The reply length is an 8-bit quantity on the wire protocol.
  const auto expected = static_cast<std::uint8_t>(2 * n + 11);
  std::size_t received = 0;
  if (!port_->read(rx_.data(), expected, received)) portFailed("ReadFile");
  rxCount_ = expected;
  if (received < expected) {
    noteFailure(missingAnswer(received));
    return false;
  }
  const auto* text = reinterpret_cast<const char*>(rx_.data()) + 1;
  if (hexChecksum(text, n + 5) != 0) {
    noteFailure(FailureKind::DamagedAnswer);
    return false;
  }
  return true;
}

std::string Link::recordReply() const {
  const auto count = static_cast<std::size_t>(rxCount_ & 0xFF);
  return std::string(reinterpret_cast<const char*>(rx_.data()), count);
}

}  // namespace zorvik
