// Private to its library.
// The doctor's words that do not depend on the platform: what the latency
// timer costs, what the logger's answer to the wake-up says. What a failure
// of the link means is engine/failure_explanation.h's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "diagnostics/doctor.h"
#include "diagnostics/finding.h"
#include "link/failure.h"

namespace zorvik::diagnostics {

// The line exchanges of an update with the largest built-in image: one data
// line out and its echo back per line. Each can wait for the adapter's
// latency timer once.
int largestUpdateExchanges();

// The "latency" finding: 1 ms (or less) is ok; more is a warning that says
// what it may cost an update of the largest image (exchanges × latency);
// unknown is a warning too. `fix` says how to set it on this platform.
Finding latencyFinding(std::optional<int> latencyMs, const std::string& fix);

// What the logger answered to the wake-up and the identity query.
struct LoggerAnswer {
  link::Failure failure;  // kind None: it answered
  std::uint16_t deviceClass = 0;
  std::uint16_t version = 0;
  std::optional<std::uint32_t> serialNumber;  // asked of the application only
};

// The "logger" finding for `port`: ok for a logger in its application, a
// warning for one in its bootloader (an earlier update stopped half-way: run
// an update) or for a device of another class, a failure when nothing
// usable came back.
Finding loggerFinding(const std::string& port, const LoggerAnswer& answer);

}  // namespace zorvik::diagnostics
