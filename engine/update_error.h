// How a run fails: the run's error codes and the engine's exception, thrown
// where a run cannot go on and caught once, at the top of the worker, where
// its code becomes the run's final event. The codes are what the user and
// scripts see (report texts, exit status); they never change meaning.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "link/exchange_error.h"
#include "link/failure.h"

namespace zorvik::engine {

enum class ErrorCode : std::int32_t {
  Fatal = 0,
  PortNotReady = 10,
  // The link's, passed on as they are.
  PortIo = static_cast<std::int32_t>(link::ExchangeError::PortIo),
  Cancelled = static_cast<std::int32_t>(link::ExchangeError::Cancelled),
  NoAnswer = static_cast<std::int32_t>(link::ExchangeError::NoAnswer),
  LoggerException = static_cast<std::int32_t>(link::ExchangeError::Refused),
  NoUpdate = 40,
  LastLine = 42,
  Conversion = 43,
  Programming = 44,
  NotSuccessful = 45,
  InvalidAnswer = 46,
  NoImage = 47,
  InfoOnly = 70,
  AlreadyCurrent = 71,
};

// The number events, reports and the exit status carry.
constexpr std::int32_t errorValue(ErrorCode code) { return static_cast<std::int32_t>(code); }

// An update's outcome that is no failure: it succeeded, or found the logger
// already current and left it as it was.
constexpr bool isPassingOutcome(std::int32_t outcome) {
  return outcome == 0 || outcome == errorValue(ErrorCode::AlreadyCurrent);
}

constexpr ErrorCode errorCode(link::ExchangeError error) {
  return static_cast<ErrorCode>(static_cast<std::int32_t>(error));
}

class UpdateError : public std::runtime_error {
 public:
  explicit UpdateError(ErrorCode code, link::FailureKind failure = link::FailureKind::None)
      : std::runtime_error(std::string()), code_(code), failure_(failure) {}
  // The detail of errors 43 and 44: the index of the line concerned.
  UpdateError(ErrorCode code, int line, link::FailureKind failure = link::FailureKind::None)
      : std::runtime_error(std::to_string(line)), code_(code), failure_(failure) {}

  ErrorCode code() const { return code_; }
  // Which way the exchange behind it failed, where one did.
  link::FailureKind failure() const { return failure_; }

 private:
  ErrorCode code_;
  link::FailureKind failure_;
};

}  // namespace zorvik::engine
