#include "session/failure_texts.h"

namespace zorvik::session {

Explanation explainFailure(const std::string& /*port*/, const Failure& failure) {
  return failureExplanation(failure);
}

}  // namespace zorvik::session
