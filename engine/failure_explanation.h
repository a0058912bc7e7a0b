// The cause of a failed run and what fixes it, in words a person can act on:
// one wording per failure kind (link/failure.h), for the update's last lines
// in every front end and for the doctor's findings alike. Where the system
// can tell more (who holds the port, which group or rule grants it), the
// doctor puts what it found in place of these words
// (diagnostics::explainFailure); nothing else words a failure.
#pragma once

#include <string>

#include "link/failure.h"

namespace zorvik::engine {

struct Explanation {
  std::string reason;
  std::string fix;
  bool empty() const { return reason.empty(); }
  friend bool operator==(const Explanation&, const Explanation&) = default;
};

// The reason, with the system's own text in parentheses where it gave one,
// and the fix. Both empty for FailureKind::None.
Explanation failureExplanation(const link::Failure& failure);

// An update whose runs have all ended without one valid frame from `port`,
// after more than one run: a logger switched off would have been switched on
// by now, so the port itself is in doubt (a built-in serial port, another
// adapter).
Explanation silentPortExplanation(const std::string& port);

}  // namespace zorvik::engine
