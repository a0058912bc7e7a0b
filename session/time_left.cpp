#include "session/time_left.h"

#include <algorithm>

namespace zorvik::session {

LineProgress TimeLeft::update(const engine::LineCount& lines, Clock::time_point now) {
  LineProgress shown{lines.done, lines.total, std::nullopt};
  // A count that goes back (it should not) starts the measurement again.
  if (!first_ || lines.done < first_->done) first_ = Sample{lines.done, now};
  const int measured = lines.done - first_->done;
  const auto took = now - first_->at;
  if (measured < kMinLinesMeasured || took <= Clock::duration::zero()) return shown;
  const long long toGo = std::max(0, lines.total - lines.done);
  const auto left = took * toGo / measured + afterLastLine_;
  shown.timeLeft = std::chrono::ceil<std::chrono::seconds>(left);
  return shown;
}

std::string timeLeftText(std::chrono::seconds left) {
  const long long seconds = std::max<long long>(0, left.count());
  const std::string secondsText = std::to_string(seconds % 60);
  return std::to_string(seconds / 60) + ":" + (secondsText.size() < 2 ? "0" : "") + secondsText + " left";
}

}  // namespace zorvik::session
