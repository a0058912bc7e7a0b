// The update procedure for the loggers: identify the logger and switch it
// into its bootloader, pick the one image that fits, program it line by line
// with echo verification, restart the logger and check its class.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/run_worker.h"
#include "images/image_header.h"
#include "images/record_codec.h"

namespace zorvik::engine {

class LoggerUpdate : public RunWorker {
 public:
  using RunWorker::RunWorker;

  // Loggers that must stay on firmware 5.136.
  static bool isPinnedSerial(std::uint32_t serialNumber);

 protected:
  void runUpdate() override;
  void runCommand() override;

 private:
  // What one run learns about the logger; nothing survives it but what it
  // leaves in the update's memory.
  struct Findings {
    std::uint16_t deviceClass = 0;
    std::uint16_t deviceVersion = 0;
    std::uint16_t appVersion = 0;
    std::uint32_t serialNumber = 0;
    std::uint16_t platform = 0xFFFF;
    std::uint16_t print = 0xFFFF;
    std::uint16_t info = 0;
    std::uint16_t updateClass = 0xFFFF;
    std::uint16_t updateInfo = 0xFFFF;
    std::uint16_t blockPlatform = 0xFFFF;
    std::uint16_t blockPrint = 0xFFFF;
    std::uint16_t blockReserve = 0xFFFF;
    std::uint16_t blockCrc = 0xFFFF;
    int image = -1;  // the run's choice, an index into its image source
    images::ImageHeader header;
    bool foundInBootloader = false;  // the first identity query found the bootloader
  };

  // Identification.
  void readIdentity(Findings& f);
  void enterBootloader(Findings& f);
  bool runsNewestImage(const Findings& f) const;
  void recallCarriedIdentity(Findings& f);
  void readSerialAfterRestart(Findings& f);
  void readInfo(Findings& f);
  void readUpdateId(Findings& f);
  void checkUpdateIdentityBlock(Findings& f);
  void sendInfoRecord(std::uint16_t address, std::uint8_t command, std::uint8_t replyBytes);

  // Selection.
  void selectImage(Findings& f);
  bool matches(const Findings& f, const images::ImageHeader& header) const;

  // Programming.
  void programImage(Findings& f);
  void sendCommandRecord(std::uint8_t command, std::uint8_t replyBytes);
  void sendDataLine(std::string_view line, int index);
  void restartCheck(Findings& f);

  // The run's record in flight and its text.
  images::RecordBytes record_{};
  std::string line_;
};

}  // namespace zorvik::engine
