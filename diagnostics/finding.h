// What one check of a port found, in words for the person at the port: what
// is there, and what to do about it when it stands in the way of an update.
#pragma once

#include <string>
#include <string_view>

namespace zorvik::diagnostics {

// Ok: nothing to do. Warning: an update may still work, but slower, less
// reliably, or not the way the user expects. Fail: an update cannot work
// until this is fixed.
enum class Level { Ok, Warning, Fail };

// "ok", "warning", "fail": the words of the doctor's lines and its JSON.
std::string_view levelName(Level level);

struct Finding {
  std::string check;  // short name of the check: "permission", "latency", ...
  Level level = Level::Ok;
  std::string found;  // what the check found
  std::string fix;    // what to do about it; empty when the level is Ok
  friend bool operator==(const Finding&, const Finding&) = default;
};

}  // namespace zorvik::diagnostics
