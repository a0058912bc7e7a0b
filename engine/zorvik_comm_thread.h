// The update procedure for Zorvik loggers: identify the logger and switch it
// into its bootloader, pick the one image that fits, program it line by line
// with echo verification, restart the logger and check its class.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "catalogue.h"
#include "comm_thread.h"

namespace zorvik {

class TZorvikCommThread : public TCommThread {
 public:
  using TCommThread::TCommThread;

  // Loggers that must stay on firmware 5.136.
  static bool isPinnedSerial(std::uint32_t serialNumber);

 protected:
  void runUpdate() override;
  void runCommand() override;

 private:
  // What one call of runUpdate learns about the logger; nothing survives it.
  struct RunValues {
    std::uint16_t deviceClass = 0;
    std::uint16_t deviceVersion = 0;
    std::uint16_t appVersion = 0;
    std::uint32_t serialNumber = 0;
    std::uint16_t platform = 0xFFFF;
    std::uint16_t print = 0xFFFF;
    std::uint16_t info = 0;
    std::uint16_t updateClass = 0xFFFF;
    std::uint16_t updateInfo = 0xFFFF;
    std::uint16_t upid_platform = 0xFFFF;
    std::uint16_t upid_print = 0xFFFF;
    std::uint16_t upid_reserve = 0xFFFF;
    std::uint16_t upid_crc = 0xFFFF;
    int image = -1;  // the run's own copy of its choice
    TBl3FileHeader header;
  };

  // Identification.
  void queryIdentity(RunValues& v);
  void enterBootloader(RunValues& v);
  void recallCarriedIdentity(RunValues& v) const;
  void readInfo(RunValues& v);
  void readUpdateId(RunValues& v);
  void checkUpdateIdentityBlock(RunValues& v);
  void sendInfoRecord(std::uint16_t address, std::uint8_t command, std::uint8_t replyBytes);

  // Selection.
  void selectImage(RunValues& v);
  bool matches(const RunValues& v, const TBl3FileHeader& header) const;

  // Programming.
  void programImage(RunValues& v);
  void sendCommandRecord(std::uint8_t command, std::uint8_t replyBytes);
  void sendDataLine(const std::string& line, int index);
  void restartCheck(const RunValues& v);
};

}  // namespace zorvik
