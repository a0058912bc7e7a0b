#include "engine/logger_update.h"

#include "engine/events.h"
#include "engine/logger_protocol.h"
#include "engine/update_error.h"
#include "engine/update_timing.h"
#include "images/identity_tables.h"
#include "images/protocol.h"
#include "images/sending_order.h"
#include "link/convert.h"
#include "link/exchange_error.h"

namespace zorvik::engine {
namespace {

constexpr std::uint16_t kPinnedAppVersion = 0x0588;  // 5.136

struct SerialRange {
  std::uint32_t first;
  std::uint32_t last;
};
// Loggers delivered with 5.136 that must not be moved to another version.
constexpr SerialRange kPinnedSerials[] = {
    {328108, 328108}, {328224, 328224}, {328235, 328236}, {328283, 328287}, {328297, 328504},
};

}  // namespace

bool LoggerUpdate::isPinnedSerial(std::uint32_t serialNumber) {
  for (const auto& range : kPinnedSerials) {
    if (serialNumber >= range.first && serialNumber <= range.last) return true;
  }
  return false;
}

void LoggerUpdate::runCommand() {
  if (request().command == RunCommand::Update) RunWorker::runCommand();
}

void LoggerUpdate::runUpdate() {
  Findings f;
  enterBootloader(f);
  readInfo(f);
  checkUpdateIdentityBlock(f);
  selectImage(f);
  programImage(f);
}

// ---- Identification -------------------------------------------------------

void LoggerUpdate::readIdentity(Findings& f) {
  const IdentityAnswer answer = queryIdentity(link());
  f.deviceClass = answer.deviceClass;
  f.deviceVersion = answer.version;
  post(kEvClass, f.deviceClass);
  post(kEvVersion, f.deviceVersion);
}

void LoggerUpdate::enterBootloader(Findings& f) {
  for (int pass = 1; pass < 3; ++pass) {
    readIdentity(f);
    if (isBootloaderClass(f.deviceClass)) {
      if (pass == 1) {
        f.foundInBootloader = true;
        recallCarriedIdentity(f);
      }
      return;
    }
    if ((request().options.checkFirmwareClass && f.deviceClass != images::kClassZorvik) || pass != 1) {
      throw UpdateError(ErrorCode::NoUpdate);
    }
    if (f.deviceClass == images::kClassZorvik) {
      f.appVersion = f.deviceVersion;
      f.serialNumber = querySerialNumber(link());
      request().memory->appVersion = f.appVersion;
      request().memory->serialNumber = f.serialNumber;
      summary().applicationVersion = f.appVersion;
      summary().serialNumber = f.serialNumber;
      if (request().options.skipCurrent && runsNewestImage(f)) throw UpdateError(ErrorCode::AlreadyCurrent);
    }
    engine::requestBootloader(link(), sleeper(), f.deviceVersion);
  }
  throw UpdateError(ErrorCode::NoUpdate);
}

// Decided in the application, before anything is erased: a logger running
// the newest image of its class can get no newer one, whatever its platform.
// One whose platform holds it at an older image is not recognised here (only
// its bootloader tells the platform) and gets that image again.
bool LoggerUpdate::runsNewestImage(const Findings& f) const {
  const std::optional<images::ImageHeader> newest = images::newestImageFor(f.deviceClass, request().images);
  return newest && ((newest->versionHigh << 8) | newest->versionLow) == f.appVersion;
}

// A logger found in its bootloader no longer tells its application version
// or serial number. Within one update (its automatic repeats) the values an
// earlier attempt read still describe this logger, and without them the
// pinned-version rule would silently pick another firmware.
void LoggerUpdate::recallCarriedIdentity(Findings& f) {
  f.appVersion = request().memory->appVersion.load();
  f.serialNumber = request().memory->serialNumber.load();
  summary().applicationVersion = f.appVersion;
  summary().serialNumber = f.serialNumber;
}

void LoggerUpdate::sendInfoRecord(std::uint16_t address, std::uint8_t command, std::uint8_t replyBytes) {
  record_[images::kRecCount] = 1;
  record_[images::kRecAddrHigh] = static_cast<std::uint8_t>(address >> 8);
  record_[images::kRecAddrLow] = static_cast<std::uint8_t>(address & 0xFF);
  record_[images::kRecType] = images::protocol::kRecordTypeCommand;
  record_[images::kRecData] = command;
  images::encodeRecord(record_, line_);
  const link::FailureKind failed = link().sendRecord(line_, replyBytes, false);
  if (failed != link::FailureKind::None) throw UpdateError(ErrorCode::InvalidAnswer, failed);
  line_ = link().recordReply();
  if (!images::decodeRecord(line_, record_)) throw UpdateError(ErrorCode::InvalidAnswer);
}

void LoggerUpdate::readInfo(Findings& f) {
  if (f.deviceClass == images::kClassBootloader1) {
    // The first bootloader generation has no info records.
    f.platform = 0;
    f.print = 0;
    f.updateClass = images::kClassZorvik;
  } else {
    sendInfoRecord(0x0000, images::protocol::kInfoRequest, images::protocol::kInfoReplyBytes);
    const auto* d = &record_[images::kRecData];
    f.platform = images::validPlatform(link::bytesToWord(d[0], d[1]));
    f.print = images::validPrint(link::bytesToWord(d[2], d[3]));
    f.info = link::bytesToWord(d[4], d[5]);
    if (f.platform != images::kNoCode) readUpdateId(f);
  }
  summary().updateClass = f.updateClass;
  post(kEvPlatform, f.platform);
  post(kEvPrint, f.print);
  post(kEvInfo, f.info);
  post(kEvUpdateClass, f.updateClass);
  post(kEvUpdateInfo, f.updateInfo);
}

void LoggerUpdate::readUpdateId(Findings& f) {
  std::int32_t address = images::memoryMap(f.platform)[0].first;
  if (f.deviceClass == images::kClassBootloader3) address /= images::protocol::kThirdGenerationBlockBytes;
  sendInfoRecord(static_cast<std::uint16_t>(address & 0xFFFF), images::protocol::kUpdateIdRequest, images::protocol::kLineBytes);
  // The identity block stores its words low byte first.
  const auto* d = &record_[images::kRecData];
  f.updateClass = images::validClass(link::bytesToWord(d[1], d[0]));
  f.updateInfo = link::bytesToWord(d[3], d[2]);
  f.blockPlatform = link::bytesToWord(d[5], d[4]);
  f.blockPrint = link::bytesToWord(d[7], d[6]);
  f.blockReserve = link::bytesToWord(d[9], d[8]);
  f.blockCrc = link::bytesToWord(d[11], d[10]);
}

void LoggerUpdate::checkUpdateIdentityBlock(Findings& f) {
  const std::uint16_t crc = identityBlockCrc(f.updateClass, f.updateInfo, f.blockPlatform, f.blockPrint, f.blockReserve);
  if (crc != f.blockCrc || f.blockPlatform == images::kNoCode || f.blockPrint == images::kNoCode) return;
  f.platform = f.blockPlatform;
  f.print = f.blockPrint;
  post(kEvPlatform, f.platform);
  post(kEvPrint, f.print);
}

// ---- Selection ------------------------------------------------------------

bool LoggerUpdate::matches(const Findings& f, const images::ImageHeader& h) const {
  const RunOptions& options = request().options;
  if (options.checkClass && f.updateClass != h.deviceClass) return false;
  if (options.checkPlatform && f.platform != h.platform) return false;
  if (f.print != h.print) return false;
  if (f.appVersion == kPinnedAppVersion && isPinnedSerial(f.serialNumber) &&
      !(h.versionHigh == 5 && h.versionLow == 136)) {
    return false;
  }
  if (f.deviceVersion != h.bootloaderVersion) return false;
  return h.bootloader == 2 || h.bootloader == 3;
}

void LoggerUpdate::selectImage(Findings& f) {
  const images::ImageSource& images = request().images;
  for (int i = images.firstIndex(); i <= images.lastIndex(); ++i) {
    images::ImageHeader header = images.header(i);
    post(kEvCandidate, i, header);
    if (matches(f, header)) {
      f.image = i;
      f.header = std::move(header);
      setChosenImage(f.header);
      summary().image = i;
      break;
    }
  }
  if (f.image < 0) throw UpdateError(ErrorCode::NoImage);
  if (request().options.readInfoOnly) throw UpdateError(ErrorCode::InfoOnly);
}

// ---- Programming ----------------------------------------------------------

void LoggerUpdate::sendCommandRecord(std::uint8_t command, std::uint8_t replyBytes) {
  record_[images::kRecCount] = 1;
  record_[images::kRecAddrHigh] = 0;
  record_[images::kRecAddrLow] = 0;
  record_[images::kRecType] = images::protocol::kRecordTypeCommand;
  record_[images::kRecData] = command;
  images::encodeRecord(record_, line_);
  link().sendRecord(line_, replyBytes, true);
}

void LoggerUpdate::sendDataLine(std::string_view line, int index) {
  link().sendRecord(line, images::protocol::kLineBytes, true);
  line_ = link().recordReply();
  if (line_ != line) {
    post(kEvEchoMismatch, index);
    throw UpdateError(ErrorCode::Programming, index, link::FailureKind::EchoDiffers);
  }
}

void LoggerUpdate::programImage(Findings& f) {
  const images::ImageSource& images = request().images;
  const int last = images.lastLine(f.image);
  if (last < 1 || images.line(f.image, last) != images::protocol::kEndLine) throw UpdateError(ErrorCode::LastLine);
  post(kEvProgramming, commandOrdinal(), f.header);

  const bool firstGeneration = f.deviceClass == images::kClassBootloader1;
  sendCommandRecord(firstGeneration ? images::protocol::kStartProgrammingFirstGeneration : images::protocol::kStartProgramming,
                    images::protocol::kStartReplyBytes);

  // The vector table goes last (see sending_order.h).
  std::vector<std::pair<std::string_view, int>> held;
  for (int j = 0; j < last; ++j) {
    const std::string_view line = images.line(f.image, j);
    if (!images::decodeRecord(line, record_)) {
      post(kEvBadLine, j);
      throw UpdateError(ErrorCode::Conversion, j);
    }
    const images::LineRole role = images::lineRole(record_);
    if (role == images::LineRole::VectorTable) {
      held.emplace_back(line, j);
      post(kEvVectorTable, 0);
      continue;
    }
    if (role == images::LineRole::Data) sendDataLine(line, j);
    setProgress(j, last);
  }
  for (const auto& [line, index] : held) {
    post(kEvVectorTable, 1);
    sendDataLine(line, index);
  }

  sleeper().sleepMs(static_cast<int>(kBeforeEndRecord.count()));
  sendCommandRecord(firstGeneration ? images::protocol::kEndProgrammingFirstGeneration : images::protocol::kEndProgramming, 0);
  // From here the logger runs the new image, whatever ends the run.
  summary().imageSent = true;
  sleeper().sleepMs(static_cast<int>(kRestartPause.count()));
  restartCheck(f);
}

void LoggerUpdate::restartCheck(Findings& f) {
  const std::uint16_t deviceClass = queryIdentity(link()).deviceClass;
  post(kEvClass, deviceClass);
  if (deviceClass != f.header.deviceClass) throw UpdateError(ErrorCode::NotSuccessful);
  if (deviceClass == images::kClassZorvik) readSerialAfterRestart(f);
}

// A logger that arrived in its bootloader could not tell its serial number;
// the restarted application can. The update has succeeded by now: an answer
// that does not come (or a cancel) leaves the number unknown and changes
// nothing else.
void LoggerUpdate::readSerialAfterRestart(Findings& f) {
  if (!f.foundInBootloader || f.serialNumber != 0) return;
  try {
    f.serialNumber = querySerialNumber(link());
  } catch (const link::LinkError&) {
    return;
  }
  request().memory->serialNumber = f.serialNumber;
  summary().serialNumber = f.serialNumber;
}

}  // namespace zorvik::engine
