// Keeping a record of updates, as the session sees it: told when an update
// starts and when it ends, with what the runs learnt. A record that cannot be
// written never stops an update: each call returns the problem in words, and
// the session reports it once per update and goes on.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "engine/events.h"
#include "engine/run_request.h"

namespace zorvik::session {

struct UpdateEnding {
  engine::RunSummary summary;      // the runs' findings, the latest known value of each
  std::int32_t outcome = 0;  // 0 success, otherwise the error code
  std::string finalText;   // the final message the user saw
  int repeats = 0;
  std::chrono::milliseconds duration{0};
};

class UpdateRecorder {
 public:
  virtual ~UpdateRecorder() = default;
  // Empty when recorded; otherwise why not.
  virtual std::optional<std::string> updateStarted(const engine::RunRequest& request) = 0;
  // The logger's serial number has been read (it may be told again, and
  // again after a repeat); a record keeps it at once, so that an update that
  // never ends still names its logger.
  virtual std::optional<std::string> serialNumberRead(const engine::RunRequest&, std::uint32_t) { return std::nullopt; }
  virtual std::optional<std::string> updateEnded(const engine::RunRequest& request, const UpdateEnding& ending) = 0;
};

}  // namespace zorvik::session
