// Event codes the update thread posts, and the error codes event 10 carries.
#pragma once

#include <cstdint>

namespace zorvik {

enum EventCode : std::uint32_t {
  kEvSuccess = 0,           // final: value = command ordinal
  kEvProgress = 1,          // value = percentage 0-99
  kEvError = 10,            // final: value = error code
  kEvEchoMismatch = 11,     // value = line index; error 44 follows
  kEvBadLine = 12,          // value = line index; error 43 follows
  kEvNoAnswer = 13,         // final: value = command ordinal; the front end repeats
  kEvClass = 20,
  kEvVersion = 21,
  kEvPlatform = 22,
  kEvPrint = 23,
  kEvInfo = 24,
  kEvUpdateClass = 25,
  kEvProgramming = 26,      // value = command ordinal; image in SelectedImage
  kEvCandidate = 27,        // value = image index
  kEvUpdateInfo = 28,
  kEvVectorTable = 40,      // 0 held back, 1 about to be sent
};

enum ErrorCode : std::int32_t {
  kErrFatal = 0,
  kErrPortNotReady = 10,
  kErrPortIo = 11,
  kErrCancelled = 20,
  kErrNoAnswer = 30,
  kErrNoUpdate = 40,
  kErrLoggerException = 41,
  kErrLastLine = 42,
  kErrConversion = 43,
  kErrProgramming = 44,
  kErrNotSuccessful = 45,
  kErrInvalidAnswer = 46,
  kErrNoImage = 47,
  kErrInfoOnly = 70,
};

inline bool isFinalEvent(std::uint32_t code) {
  return code == kEvSuccess || code == kEvError || code == kEvNoAnswer;
}

}  // namespace zorvik
