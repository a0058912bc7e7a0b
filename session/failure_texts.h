// The cause of a failed update and what fixes it, in words, from what the
// link could tell (link/failure.h). A front end shows it as one line after
// the error; where the system can tell more (who holds a port, which group
// grants it), a richer explanation replaces this one (SessionSetup::explain).
#pragma once

#include <functional>
#include <string>

#include "link/failure.h"

namespace zorvik::session {

struct Explanation {
  std::string reason;
  std::string fix;
  bool empty() const { return reason.empty(); }
};

using Explain = std::function<Explanation(const std::string& port, const Failure& failure)>;

Explanation explainFailure(const std::string& port, const Failure& failure);

}  // namespace zorvik::session
