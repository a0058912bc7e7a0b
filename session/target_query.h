// Asking the logger who it is before the update question, so that the
// question can name what it is about, on a thread of its own: when nothing
// answers, the asking takes a second or more and the window must keep
// painting meanwhile. Only the identity and serial-number queries are sent
// (engine::identifyLogger): the logger stays in its application, and nothing
// is written before the user's "Yes".
//
// Thread safety: made, cancelled and destroyed on the window's thread; the
// answer is handed to `answered` on the query's own thread, which must bring
// it back to the window's thread itself.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/logger_identity.h"
#include "link/cancel_token.h"
#include "link/sleeper.h"

namespace zorvik::session {

class TargetQuery {
 public:
  using Answered = std::function<void(const engine::LoggerIdentity&)>;

  // Starts asking the logger on `port`; `sleeper` times the protocol's fixed
  // pauses (null: real ones). `answered` is called once, also when cancelled.
  TargetQuery(std::string port, std::shared_ptr<link::Sleeper> sleeper, Answered answered);
  // Cancels and waits: the asking gives up at its next exchange attempt,
  // within a fraction of a second, and closes the port.
  ~TargetQuery();
  TargetQuery(const TargetQuery&) = delete;
  TargetQuery& operator=(const TargetQuery&) = delete;

  const std::string& port() const { return port_; }

 private:
  const std::string port_;
  const std::shared_ptr<link::Sleeper> sleeper_;
  const link::CancelToken cancel_;
  std::jthread thread_;  // last: it starts once everything it reads is set
};

}  // namespace zorvik::session
