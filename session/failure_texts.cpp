#include "session/failure_texts.h"

namespace zorvik::session {

engine::Explanation explainFailure(const std::string& /*port*/, const link::Failure& failure) {
  return engine::failureExplanation(failure);
}

}  // namespace zorvik::session
