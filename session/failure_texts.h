// How a session learns the cause and fix of a failed update, for the line a
// front end shows after the error: the Explain hook. By default the words of
// engine/failure_explanation.h; a front end that can ask the system who
// holds a port or which group grants it passes the doctor's
// (diagnostics::explainFailure) instead (SessionSetup::explain).
#pragma once

#include <functional>
#include <string>

#include "engine/failure_explanation.h"
#include "link/failure.h"

namespace zorvik::session {

using Explanation = zorvik::engine::Explanation;

using Explain = std::function<engine::Explanation(const std::string& port, const link::Failure& failure)>;

// The plain words for `failure`; the port adds nothing to them.
engine::Explanation explainFailure(const std::string& port, const link::Failure& failure);

}  // namespace zorvik::session
