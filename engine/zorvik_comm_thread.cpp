#include "zorvik_comm_thread.h"

#include "convert.h"
#include "events.h"
#include "identity_tables.h"
#include "qorn_exception.h"
#include "record_codec.h"
#include "run_options.h"

namespace zorvik {

CommThreadFactory CommThreadClass = &makeCommThread<TZorvikCommThread>;

namespace {

constexpr std::uint8_t kCmdIdentity = 1;
constexpr std::uint8_t kIdentitySerialNumber = 3;
constexpr std::uint16_t kNewEntryFrameVersion = 0x0600;
constexpr std::uint16_t kPinnedAppVersion = 0x0588;  // 5.136
constexpr std::uint8_t kRecordTypeData = 0;
constexpr std::uint8_t kRecordTypeCommand = 5;
constexpr std::uint8_t kInfoRequest = 0x20;
constexpr std::uint8_t kUpdateIdRequest = 0x30;
constexpr std::uint8_t kInfoReplyBytes = 6;
constexpr std::uint8_t kLineBytes = 64;
constexpr const char* kEndLine = ":00000001FF";
constexpr int kEntryPauseMs = 1;
constexpr int kBeforeEndRecordMs = 500;
constexpr int kRestartMs = 2000;

bool isBootloaderId(std::uint16_t deviceClass) {
  return deviceClass == kClassBootloader1 || deviceClass == kClassBootloader2 ||
         deviceClass == kClassBootloader3;
}

struct SerialRange {
  std::uint32_t first;
  std::uint32_t last;
};
// Loggers delivered with 5.136 that must not be moved to another version.
constexpr SerialRange kPinnedSerials[] = {
    {328108, 328108}, {328224, 328224}, {328235, 328236}, {328283, 328287}, {328297, 328504},
};

}  // namespace

bool TZorvikCommThread::isPinnedSerial(std::uint32_t serialNumber) {
  for (const auto& range : kPinnedSerials) {
    if (serialNumber >= range.first && serialNumber <= range.last) return true;
  }
  return false;
}

void TZorvikCommThread::runCommand() {
  if (FCmd == tCMD0) TCommThread::runCommand();
}

void TZorvikCommThread::runUpdate() {
  RunValues v;
  enterBootloader(v);
  readInfo(v);
  checkUpdateIdentityBlock(v);
  selectImage(v);
  programImage(v);
}

// ---- Identification -------------------------------------------------------

void TZorvikCommThread::queryIdentity(RunValues& v) {
  sendCommand(true, kCmdIdentity);
  v.deviceClass = bytesToWord(FRxBuffer[2], FRxBuffer[3]);
  v.deviceVersion = bytesToWord(FRxBuffer[4], FRxBuffer[5]);
  post(kEvClass, v.deviceClass);
  post(kEvVersion, v.deviceVersion);
}

void TZorvikCommThread::enterBootloader(RunValues& v) {
  for (int pass = 1; pass < 3; ++pass) {
    queryIdentity(v);
    if (isBootloaderId(v.deviceClass)) {
      if (pass == 1) recallCarriedIdentity(v);
      return;
    }
    if ((OptCheckFirmwareClass.load() && v.deviceClass != kClassZorvik) || pass != 1) {
      throw EQorn(kErrNoUpdate);
    }
    if (v.deviceClass == kClassZorvik) {
      v.appVersion = v.deviceVersion;
      sendCommand(true, kCmdIdentity, kIdentitySerialNumber);
      v.serialNumber = bytesToDword(FRxBuffer[4], FRxBuffer[3], FRxBuffer[2], FRxBuffer[1]);
      if (FMemory) {
        FMemory->appVersion = v.appVersion;
        FMemory->serialNumber = v.serialNumber;
      }
    }
    if (v.deviceVersion < kNewEntryFrameVersion) {
      sendCommand(false, 5, 0x03, 0xA5, 0x5A, 0x00, 0x00, 0x00);
    } else {
      sendCommand(false, 2, 0x81, 0x00, 0xA5, 0x5A, 0x00, 0x00);
    }
    sleepMs(kEntryPauseMs);
  }
  throw EQorn(kErrNoUpdate);
}

// A logger found in its bootloader no longer tells its application version
// or serial number. Within one update (its automatic repeats) the values an
// earlier attempt read still describe this logger, and without them the
// pinned-version rule would silently pick another firmware.
void TZorvikCommThread::recallCarriedIdentity(RunValues& v) const {
  if (!FMemory) return;
  v.appVersion = FMemory->appVersion.load();
  v.serialNumber = FMemory->serialNumber.load();
}

void TZorvikCommThread::sendInfoRecord(std::uint16_t address, std::uint8_t command,
                                       std::uint8_t replyBytes) {
  RecordBuffer[kRecCount] = 1;
  RecordBuffer[kRecAddrHigh] = static_cast<std::uint8_t>(address >> 8);
  RecordBuffer[kRecAddrLow] = static_cast<std::uint8_t>(address & 0xFF);
  RecordBuffer[kRecType] = kRecordTypeCommand;
  RecordBuffer[kRecData] = command;
  encodeRecord();
  if (!sendRecord(RecordLine, replyBytes, false)) throw EQorn(kErrInvalidAnswer);
  RecordLine = getReply();
  if (!decodeRecord()) throw EQorn(kErrInvalidAnswer);
}

void TZorvikCommThread::readInfo(RunValues& v) {
  if (v.deviceClass == kClassBootloader1) {
    // The first bootloader generation has no info records.
    v.platform = 0;
    v.print = 0;
    v.updateClass = kClassZorvik;
  } else {
    sendInfoRecord(0x0000, kInfoRequest, kInfoReplyBytes);
    const auto* d = &RecordBuffer[kRecData];
    v.platform = ValidPlatform(bytesToWord(d[0], d[1]));
    v.print = ValidPrint(bytesToWord(d[2], d[3]));
    v.info = bytesToWord(d[4], d[5]);
    if (v.platform != kNoCode) readUpdateId(v);
  }
  post(kEvPlatform, v.platform);
  post(kEvPrint, v.print);
  post(kEvInfo, v.info);
  post(kEvUpdateClass, v.updateClass);
  post(kEvUpdateInfo, v.updateInfo);
}

void TZorvikCommThread::readUpdateId(RunValues& v) {
  TMemoryMap map;
  GetMemoryMap(v.platform, map);
  std::int32_t address = map[0].first;
  if (v.deviceClass == kClassBootloader3) address /= 64;  // third generation counts in blocks
  sendInfoRecord(static_cast<std::uint16_t>(address & 0xFFFF), kUpdateIdRequest, kLineBytes);
  // The identity block stores its words low byte first.
  const auto* d = &RecordBuffer[kRecData];
  v.updateClass = ValidClass(bytesToWord(d[1], d[0]));
  v.updateInfo = bytesToWord(d[3], d[2]);
  v.upid_platform = bytesToWord(d[5], d[4]);
  v.upid_print = bytesToWord(d[7], d[6]);
  v.upid_reserve = bytesToWord(d[9], d[8]);
  v.upid_crc = bytesToWord(d[11], d[10]);
}

void TZorvikCommThread::checkUpdateIdentityBlock(RunValues& v) {
  const std::uint16_t crc =
      calculateCRC16(v.updateClass, v.updateInfo, v.upid_platform, v.upid_print, v.upid_reserve);
  if (crc != v.upid_crc || v.upid_platform == kNoCode || v.upid_print == kNoCode) return;
  v.platform = v.upid_platform;
  v.print = v.upid_print;
  post(kEvPlatform, v.platform);
  post(kEvPrint, v.print);
}

// ---- Selection ------------------------------------------------------------

bool TZorvikCommThread::matches(const RunValues& v, const TBl3FileHeader& h) const {
  if (OptCheckClass.load() && v.updateClass != h.qorn_class) return false;
  if (OptCheckPlatform.load() && v.platform != h.qorn_platform) return false;
  if (v.print != h.qorn_print) return false;
  if (v.appVersion == kPinnedAppVersion && isPinnedSerial(v.serialNumber) &&
      !(h.qorn_verH == 5 && h.qorn_verL == 136)) {
    return false;
  }
  if (v.deviceVersion != h.qorn_bl_ver) return false;
  return h.qorn_bl == 2 || h.qorn_bl == 3;
}

void TZorvikCommThread::selectImage(RunValues& v) {
  const bool external = SelectedImage.load() == 0;
  const int first = external ? 0 : 1;
  const int last = external ? 0 : FirmwareImageCount();
  SelectedImage = -1;
  for (int i = first; i <= last; ++i) {
    post(kEvCandidate, i);
    TBl3FileHeader header = GetFirmwareHeader(i);
    if (matches(v, header)) {
      v.image = i;
      v.header = std::move(header);
      SelectedImage = i;
      break;
    }
  }
  if (v.image < 0) throw EQorn(kErrNoImage);
  if (ReadInfoOnly.load()) throw EQorn(kErrInfoOnly);
}

// ---- Programming ----------------------------------------------------------

void TZorvikCommThread::sendCommandRecord(std::uint8_t command, std::uint8_t replyBytes) {
  RecordBuffer[kRecCount] = 1;
  RecordBuffer[kRecAddrHigh] = 0;
  RecordBuffer[kRecAddrLow] = 0;
  RecordBuffer[kRecType] = kRecordTypeCommand;
  RecordBuffer[kRecData] = command;
  encodeRecord();
  sendRecord(RecordLine, replyBytes, true);
}

void TZorvikCommThread::sendDataLine(const std::string& line, int index) {
  sendRecord(line, kLineBytes, true);
  RecordLine = getReply();
  if (RecordLine != line) {
    post(kEvEchoMismatch, index);
    throw EQorn(kErrProgramming, index);
  }
}

void TZorvikCommThread::programImage(RunValues& v) {
  // The run works on the image it chose, whatever the selection says later.
  const int last = GetImageLastLine(v.image);
  if (last < 1 || GetImageLine(v.image, last) != kEndLine) throw EQorn(kErrLastLine);
  post(kEvProgramming, FCmd);

  const bool firstGeneration = v.deviceClass == kClassBootloader1;
  sendCommandRecord(firstGeneration ? 0x11 : 0x31, 1);

  // The vector table goes last: a reset halfway through must not find a
  // vector table that points into code that has not been written yet.
  std::vector<std::pair<std::string, int>> held;
  for (int j = 0; j < last; ++j) {
    RecordLine = GetImageLine(v.image, j);
    const std::string line = RecordLine;
    if (!decodeRecord()) {
      post(kEvBadLine, j);
      throw EQorn(kErrConversion, j);
    }
    if (RecordBuffer[kRecCount] != kLineBytes || RecordBuffer[kRecType] != kRecordTypeData) {
      setProgress(j, last);
    } else if (RecordBuffer[kRecAddrHigh] == 0x03 && RecordBuffer[kRecAddrLow] == 0xDF) {
      held.emplace_back(line, j);
      post(kEvVectorTable, 0);
    } else {
      sendDataLine(line, j);
      setProgress(j, last);
    }
  }
  for (const auto& [line, index] : held) {
    post(kEvVectorTable, 1);
    sendDataLine(line, index);
  }

  sleepMs(kBeforeEndRecordMs);
  sendCommandRecord(firstGeneration ? 0x13 : 0x33, 0);
  sleepMs(kRestartMs);
  restartCheck(v);
}

void TZorvikCommThread::restartCheck(const RunValues& v) {
  sendCommand(true, kCmdIdentity);
  const std::uint16_t deviceClass = bytesToWord(FRxBuffer[2], FRxBuffer[3]);
  post(kEvClass, deviceClass);
  if (deviceClass != v.header.qorn_class) throw EQorn(kErrNotSuccessful);
}

}  // namespace zorvik
