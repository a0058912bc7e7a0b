// How a run fails: the one exception of the link and the engine, thrown where
// a run cannot go on and caught once, at the top of the worker, where its
// code becomes the run's final event. The codes are what the user and
// scripts see (report texts, exit status); they never change meaning.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zorvik {

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

class UpdateError : public std::runtime_error {
 public:
  explicit UpdateError(std::int32_t code, const std::string& detail = {})
      : std::runtime_error(detail), code_(code) {}
  // The detail of errors 43 and 44: the index of the line concerned.
  UpdateError(std::int32_t code, int line) : std::runtime_error(std::to_string(line)), code_(code) {}

  std::int32_t code() const { return code_; }

 private:
  std::int32_t code_;
};

}  // namespace zorvik
