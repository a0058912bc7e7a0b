#include "sim/logger_model.h"

#include <algorithm>
#include <array>

#include "images/identity_tables.h"
#include "link/crc.h"
#include "sim/answers.h"
#include "sim/programmed_image.h"

namespace zorvik::sim {
namespace {

using Body = std::array<std::uint8_t, 7>;

// Own copies of the protocol's constants, never images/protocol.h: the updater's mistakes must not pass here.
// The frames the logger knows, bytes 0 to 6 (byte 7 is their CRC-8).
constexpr Body kNullBody{};
constexpr Body kIdentityBody{0x81, 0x00, 0, 0, 0, 0, 0};
constexpr Body kSerialBody{0x81, 0x03, 0, 0, 0, 0, 0};
// Applications before 6.0 know only the old entry frame (command 5), those
// from 6.0 on only the new one (command 2).
constexpr Body kEntryBodyOld{0x85, 0x03, 0xA5, 0x5A, 0, 0, 0};
constexpr Body kEntryBodyNew{0x82, 0x81, 0x00, 0xA5, 0x5A, 0, 0};
constexpr std::uint16_t kNewEntryFrameFrom = 0x0600;

constexpr std::uint8_t kStatusOk = 0x01;  // echoes the command, exception bit clear
constexpr std::uint8_t kExceptionBit = 0x20;
constexpr std::uint8_t kRecordTypeData = 0;
constexpr std::uint8_t kRecordTypeCommand = 5;

std::uint8_t high(std::uint16_t w) { return static_cast<std::uint8_t>(w >> 8); }
std::uint8_t low(std::uint16_t w) { return static_cast<std::uint8_t>(w & 0xFF); }

std::uint8_t byteAt(const std::string& s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

bool bodyIs(const std::string& frame, const Body& body) {
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (byteAt(frame, i) != body[i]) return false;
  }
  return true;
}

// Requests that get an answer when all is well: the ones a fault aimed at
// Request::Any may damage.
bool answeredKind(Request kind) {
  switch (kind) {
    case Request::IdentityQuery:
    case Request::SerialQuery:
    case Request::OtherFrame:
    case Request::InfoRequest:
    case Request::UpdateIdRequest:
    case Request::StartRecord:
    case Request::DataLine:
      return true;
    default:
      return false;
  }
}

SimClock::duration characterTime(const LoggerConfig& config) {
  if (!config.wireTiming) return SimClock::duration::zero();
  const double scale = config.clockScale > 0 ? config.clockScale : 1.0;
  // 8N1: start bit, eight data bits, stop bit.
  return std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(10.0 / 9600.0 / scale));
}

}  // namespace

const char* requestName(Request kind) {
  switch (kind) {
    case Request::Any: return "any";
    case Request::NullFrame: return "null frame";
    case Request::IdentityQuery: return "identity query";
    case Request::SerialQuery: return "serial-number query";
    case Request::BootloaderEntry: return "bootloader entry frame";
    case Request::WrongEntryFrame: return "entry frame of the other application version";
    case Request::OtherFrame: return "other frame";
    case Request::InfoRequest: return "info request";
    case Request::UpdateIdRequest: return "update-ID request";
    case Request::StartRecord: return "start record";
    case Request::DataLine: return "data line";
    case Request::EndRecord: return "end record";
    case Request::OtherRecord: return "other record";
  }
  return "?";
}

LoggerModel::LoggerModel(const LoggerConfig& config)
    : config_(config),
      charTime_(characterTime(config)),
      mode_(config.startInBootloader ? Mode::Bootloader : Mode::Application),
      appClass_(config.appClass),
      appVersion_(config.appVersion) {
  if (config.randomFaults) lineFaults_.emplace(*config.randomFaults);
}

LineFaultCounts LoggerModel::lineFaultCounts() const {
  return lineFaults_ ? lineFaults_->counts() : LineFaultCounts{};
}

void LoggerModel::injectFault(const Fault& fault) {
  if (fault.count > 0) faults_.push_back(fault);
}

Mode LoggerModel::mode(SimClock::time_point now) {
  settle(now);
  return mode_;
}

void LoggerModel::settle(SimClock::time_point at) {
  if (mode_ == Mode::Rebooting && at >= restartDoneAt_) mode_ = modeAfterRestart_;
}

ModelOutput LoggerModel::receive(std::string_view bytes, SimClock::time_point now) {
  ModelOutput out;
  if (lineFaults_) {
    // What the cable delivers, not what the host wrote.
    const std::string delivered = lineFaults_->incoming(bytes);
    for (const char byte : delivered) receiveByte(byte, now, out);
    return out;
  }
  for (const char byte : bytes) receiveByte(byte, now, out);
  return out;
}

void LoggerModel::receiveByte(char byte, SimClock::time_point now, ModelOutput& out) {
  if (mode_ == Mode::Dead) return;
  if (now < deafUntil_) {
    pending_ = Pending{};
    return;
  }
  if (now - pending_.lastArrival > kResyncSilence) pending_ = Pending{};
  pending_.lastArrival = now;
  // The host may hand over a whole request at once; on the line its characters
  // still follow one another.
  const auto start = std::max(now, rxLineFreeAt_);
  rxLineFreeAt_ = start + charTime_;
  settle(start);
  if (mode_ == Mode::Rebooting) {
    pending_.bytes.clear();
    return;
  }
  if (pending_.discarding) return;
  pending_.bytes.push_back(byte);
  const auto length = expectedLength();
  if (!length || pending_.bytes.size() < *length) return;
  const std::string request = std::move(pending_.bytes);
  pending_.bytes.clear();
  process(request, rxLineFreeAt_, out);
}

std::optional<std::size_t> LoggerModel::expectedLength() {
  const std::string& b = pending_.bytes;
  if (mode_ != Mode::Bootloader || b.front() != ':') return kFrameSize;
  if (b.size() < 3) return std::nullopt;
  std::uint8_t countHigh = 0;
  std::uint8_t countLow = 0;
  const bool digits = images::hexDigitValue(b[1], countHigh) && images::hexDigitValue(b[2], countLow);
  const int n = countHigh * 16 + countLow;
  if (!digits || n > images::kMaxRecordData) {
    // No way to tell where this line ends: wait for the host to fall silent.
    pending_.discarding = true;
    pending_.bytes.clear();
    return std::nullopt;
  }
  return static_cast<std::size_t>(2 * n + 11);
}

void LoggerModel::process(const std::string& request, SimClock::time_point completeAt,
                          ModelOutput& out) {
  const bool isRecord = mode_ == Mode::Bootloader && request.front() == ':';
  images::RecordBytes record{};
  Request kind = Request::OtherFrame;
  if (isRecord) {
    if (!images::decodeRecord(request, record)) return;
    kind = classifyRecord(record);
  } else {
    if (link::crc8(reinterpret_cast<const std::uint8_t*>(request.data()), 7) != byteAt(request, 7)) return;
    kind = classifyFrame(request);
  }
  requests_.push_back(kind);
  const auto fault = takeFault(kind);
  if (fault && fault->kind == FaultKind::NoAnswer) return;
  if (fault && fault->kind == FaultKind::HangUp) {
    mode_ = Mode::Dead;
    out.hangUp = true;
    return;
  }
  if (!fault && randomRequestFault(kind, completeAt, out)) return;
  auto answer = isRecord ? answerRecord(kind, record, request, completeAt)
                         : answerFrame(kind, request, completeAt);
  if (!answer) return;
  if (fault) damageAnswer(*answer, fault->kind, isRecord);
  if (!fault && kind == Request::DataLine && lineFaults_ && lineFaults_->alterEcho()) {
    damageAnswer(*answer, FaultKind::AlteredEcho, true);
  }
  auto start = std::max(completeAt, txLineFreeAt_);
  if (fault && fault->kind == FaultKind::LateAnswer) start += kLateAnswerDelay;
  sendAnswer(std::move(*answer), start, out);
}

bool LoggerModel::randomRequestFault(Request kind, SimClock::time_point completeAt, ModelOutput& out) {
  if (!lineFaults_) return false;
  const auto deaf = lineFaults_->silence();
  if (deaf > SimClock::duration::zero()) {
    deafUntil_ = completeAt + deaf;
    return true;
  }
  if (kind == Request::DataLine && programming_ && lineFaults_->hangUp()) {
    mode_ = Mode::Dead;
    out.hangUp = true;
    return true;
  }
  return false;
}

void LoggerModel::sendAnswer(std::string answer, SimClock::time_point start, ModelOutput& out) {
  if (!lineFaults_) {
    txLineFreeAt_ = start + charTime_ * static_cast<SimClock::rep>(answer.size());
    out.replies.push_back({std::move(answer), start});
    return;
  }
  for (auto& piece : lineFaults_->outgoing(answer)) {
    start += piece.delay;
    const auto size = static_cast<SimClock::rep>(piece.bytes.size());
    if (size > 0) out.replies.push_back({std::move(piece.bytes), start});
    start += charTime_ * size;
  }
  txLineFreeAt_ = start;
}

std::optional<Fault> LoggerModel::takeFault(Request kind) {
  if (faults_.empty()) return std::nullopt;
  Fault& next = faults_.front();
  const bool matches = next.target == Request::Any ? answeredKind(kind) : next.target == kind;
  if (!matches) return std::nullopt;
  if (next.skip > 0) {
    --next.skip;
    return std::nullopt;
  }
  const Fault applied = next;
  if (--next.count <= 0) faults_.pop_front();
  return applied;
}

Request LoggerModel::classifyFrame(const std::string& frame) const {
  if (bodyIs(frame, kNullBody)) return Request::NullFrame;
  if (bodyIs(frame, kIdentityBody)) return Request::IdentityQuery;
  if (bodyIs(frame, kSerialBody)) return Request::SerialQuery;
  const bool oldFrame = bodyIs(frame, kEntryBodyOld);
  if (oldFrame || bodyIs(frame, kEntryBodyNew)) {
    return oldFrame == takesOldEntryFrame() ? Request::BootloaderEntry : Request::WrongEntryFrame;
  }
  return Request::OtherFrame;
}

// The application in the flash decides, whichever mode the logger is in: its
// version may have changed with an update.
bool LoggerModel::takesOldEntryFrame() const {
  return (appVersion_ < kNewEntryFrameFrom) != config_.entryFramesSwapped;
}

Request LoggerModel::classifyRecord(const images::RecordBytes& record) const {
  const std::uint8_t n = record[images::kRecCount];
  const std::uint8_t type = record[images::kRecType];
  if (type == kRecordTypeData && n == images::kMaxRecordData) return Request::DataLine;
  if (type != kRecordTypeCommand || n != 1) return Request::OtherRecord;
  switch (record[images::kRecData]) {
    case 0x20: return Request::InfoRequest;
    case 0x30: return Request::UpdateIdRequest;
    case 0x31:
    case 0x11: return Request::StartRecord;
    case 0x33:
    case 0x13: return Request::EndRecord;
    default: return Request::OtherRecord;
  }
}

std::optional<std::string> LoggerModel::answerFrame(Request kind, const std::string& frame,
                                                    SimClock::time_point at) {
  const bool inBootloader = mode_ == Mode::Bootloader;
  switch (kind) {
    case Request::NullFrame:
      return std::nullopt;
    case Request::BootloaderEntry:
      if (!inBootloader && config_.honourBootloaderEntry) restart(at, Mode::Bootloader);
      return std::nullopt;
    case Request::WrongEntryFrame:
      // Unknown to this application: no answer, no switch.
      return std::nullopt;
    case Request::IdentityQuery: {
      const std::uint16_t cls = inBootloader ? config_.bootloaderId : appClass_;
      const std::uint16_t ver = inBootloader ? config_.bootloaderVersion : appVersion_;
      return frameAnswer({kStatusOk, 0, high(cls), low(cls), high(ver), low(ver), 0});
    }
    case Request::SerialQuery:
      if (!inBootloader) {
        const std::uint32_t s = config_.serialNumber;
        return frameAnswer({kStatusOk, static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(s >> 8),
                            static_cast<std::uint8_t>(s >> 16), static_cast<std::uint8_t>(s >> 24), 0, 0});
      }
      [[fallthrough]];  // the bootloader does not know it
    default:
      // A command the logger does not know: answered, but flagged as an exception.
      return frameAnswer({static_cast<std::uint8_t>(kExceptionBit | (byteAt(frame, 0) & 0x7F)), 0, 0, 0,
                          0, 0, 0});
  }
}

std::optional<std::string> LoggerModel::answerRecord(Request kind, const images::RecordBytes& record,
                                                     const std::string& line, SimClock::time_point at) {
  const auto address = static_cast<std::uint16_t>(record[images::kRecAddrHigh] << 8 | record[images::kRecAddrLow]);
  const std::uint8_t command = record[images::kRecData];
  switch (kind) {
    case Request::InfoRequest:
      if (address != 0) return std::nullopt;
      return infoAnswer();
    case Request::UpdateIdRequest:
      if (address != updateIdAddress()) return std::nullopt;
      return updateIdAnswer(address);
    case Request::StartRecord:
      if (address != 0 || !commandByteFits(command, 0x31, 0x11)) return std::nullopt;
      openProgramming();
      return recordAnswer(0, kRecordTypeData, &command, 1);
    case Request::DataLine:
      if (!programming_) return std::nullopt;
      writes_.push_back({address, line});
      flash_[address] = line;
      return line;
    case Request::EndRecord:
      if (address == 0 && commandByteFits(command, 0x33, 0x13)) endProgramming(at);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

bool LoggerModel::commandByteFits(std::uint8_t data, std::uint8_t generation3,
                                  std::uint8_t generation1) const {
  return data == (config_.bootloaderId == images::kClassBootloader1 ? generation1 : generation3);
}

std::uint16_t LoggerModel::updateIdAddress() const {
  const images::MemoryMap map = images::memoryMap(config_.platform);
  std::int32_t address = map[0].enabled ? map[0].first : 0;
  if (config_.bootloaderId == images::kClassBootloader3) address /= 64;
  return static_cast<std::uint16_t>(address & 0xFFFF);
}

std::string LoggerModel::infoAnswer() const {
  const std::array<std::uint8_t, 6> data{high(config_.platform), low(config_.platform),
                                         high(config_.print),    low(config_.print),
                                         high(config_.info),     low(config_.info)};
  return recordAnswer(0, kRecordTypeData, data.data(), static_cast<std::uint8_t>(data.size()));
}

std::string LoggerModel::updateIdAnswer(std::uint16_t address) const {
  std::array<std::uint8_t, images::kMaxRecordData> data{};
  data.fill(0xFF);
  const std::array<std::uint16_t, 5> words{config_.upidClass, config_.upidInfo, config_.upidPlatform,
                                           config_.upidPrint, config_.upidReserve};
  for (std::size_t i = 0; i < words.size(); ++i) {
    data[2 * i] = low(words[i]);
    data[2 * i + 1] = high(words[i]);
  }
  std::uint16_t crc = link::crc16(data.data(), 10);
  if (!config_.upidCrcValid) crc = static_cast<std::uint16_t>(crc ^ 0x1111);
  data[10] = low(crc);
  data[11] = high(crc);
  return recordAnswer(address, kRecordTypeData, data.data(), images::kMaxRecordData);
}

void LoggerModel::openProgramming() {
  // A new start erases: after a repeated update the flash holds exactly the
  // lines of the last attempt.
  programming_ = true;
  flash_.clear();
  writes_.clear();
}

void LoggerModel::endProgramming(SimClock::time_point at) {
  programming_ = false;
  ++restarts_;
  if (config_.stayInBootloaderAfterRestart) {
    restart(at, Mode::Bootloader);
    return;
  }
  identifyProgrammedImage();
  restart(at, Mode::Application);
}

void LoggerModel::identifyProgrammedImage() {
  if (config_.classAfterRestart) {
    appClass_ = *config_.classAfterRestart;
    return;
  }
  if (const auto image = builtInImageInFlash(flash_)) {
    appClass_ = image->deviceClass;
    appVersion_ = image->version;
    return;
  }
  appClass_ = config_.appClass;
  appVersion_ = config_.appVersion;
}

void LoggerModel::restart(SimClock::time_point at, Mode target) {
  mode_ = Mode::Rebooting;
  modeAfterRestart_ = target;
  restartDoneAt_ = at + config_.rebootTime;
  if (lineFaults_) restartDoneAt_ += lineFaults_->rebootExtra();
  pending_.bytes.clear();
}

}  // namespace zorvik::sim
