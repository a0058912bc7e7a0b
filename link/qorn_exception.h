// The one exception type of the engine. The integer code decides how a run
// ends (see engine/events.h); the message is for whoever inspects it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zorvik {

class EQorn : public std::runtime_error {
 public:
  explicit EQorn(std::int32_t code) : std::runtime_error(""), iException(code) {}
  EQorn(std::int32_t code, const std::string& sMsg) : std::runtime_error(sMsg), iException(code) {}
  EQorn(std::int32_t code, const char* sMsg) : std::runtime_error(sMsg), iException(code) {}
  EQorn(std::int32_t code, std::int32_t iInfo)
      : std::runtime_error(std::to_string(iInfo)), iException(code) {}

  std::int32_t iException;
};

}  // namespace zorvik
