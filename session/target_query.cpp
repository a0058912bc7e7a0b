#include "session/target_query.h"

#include "engine/update_error.h"

namespace zorvik::session {

namespace {

engine::LoggerIdentity askSafely(const std::string& port, link::Sleeper& sleeper, const link::CancelToken& cancel) {
  try {
    return engine::identifyLogger(port, sleeper, cancel);
  } catch (...) {
    // Out of memory or the like: the question must come all the same (the
    // window waits for it), saying that nobody could be asked.
    engine::LoggerIdentity id;
    id.error = engine::errorValue(engine::ErrorCode::Fatal);
    return id;
  }
}

}  // namespace

TargetQuery::TargetQuery(std::string port, std::shared_ptr<link::Sleeper> sleeper, Answered answered)
    : port_(std::move(port)),
      sleeper_(sleeper ? std::move(sleeper) : std::make_shared<link::ThreadSleeper>()),
      thread_([this, answered = std::move(answered)] { answered(askSafely(port_, *sleeper_, cancel_)); }) {}

TargetQuery::~TargetQuery() { cancel_.cancel(); }

}  // namespace zorvik::session
