// How an exchange with the logger could not be made: the link's one
// exception, thrown where an exchange cannot go on. It says which way the
// last attempt failed, so that nobody has to ask the link afterwards. The
// numbers are run error codes that the engine passes on as they are (report
// texts, exit status); they never change.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "link/failure.h"

namespace zorvik::link {

enum class ExchangeError : std::int32_t {
  PortIo = 11,     // a read or write call failed
  Cancelled = 20,  // the cancel token was set before an attempt
  NoAnswer = 30,   // every attempt failed
  Refused = 41,    // the logger answered with its exception bit
};

class LinkError : public std::runtime_error {
 public:
  LinkError(ExchangeError error, FailureKind failure, const std::string& detail = {})
      : std::runtime_error(detail), error_(error), failure_(failure) {}

  ExchangeError error() const { return error_; }
  // Which way the last attempt failed; None when a cancel came before any
  // attempt failed.
  FailureKind failure() const { return failure_; }

 private:
  ExchangeError error_;
  FailureKind failure_;
};

}  // namespace zorvik::link
