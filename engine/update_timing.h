// The update procedure's fixed pauses after the image's last line: before the
// end record, and while the logger restarts into its new firmware. A front
// end's time left counts them, or it would reach "0:00" seconds before the
// update is over.
#pragma once

#include <chrono>

namespace zorvik::engine {

inline constexpr std::chrono::milliseconds kBeforeEndRecord{500};
inline constexpr std::chrono::milliseconds kRestartPause{2000};
inline constexpr std::chrono::milliseconds kPausesAfterLastLine = kBeforeEndRecord + kRestartPause;

}  // namespace zorvik::engine
