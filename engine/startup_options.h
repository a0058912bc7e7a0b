// Start-up options shared by both front ends: the per-user service mode and
// the "key:value" command-line switches.
#pragma once

#include <string>
#include <vector>

#include "engine/run_options.h"

namespace zorvik::engine {

// The four-digit code the per-user value "intern" must hold to unlock the
// service mode. Given to service staff (README).
constexpr int kServiceAccessCode = 7406;

// Value of the first argument starting with key (case-insensitive), when the
// argument is longer than the key; default otherwise. At most 1000 characters.
std::string paramValue(const std::vector<std::string>& arguments, const std::string& key,
                       const std::string& defaultValue);

enum class FileMode { Normal = 0, Service = 1, ServiceWithFiles = 2 };

struct StartupOptions {
  bool serviceMode = false;
  bool memoryFormat = false;
  FileMode fileMode = FileMode::Normal;
  // The checks every run of this program starts from; relaxed by switches
  // in service mode only.
  RunOptions runOptions;
};

// Reads the switches in the documented order.
StartupOptions readStartupOptions(bool serviceMode, const std::vector<std::string>& arguments);

}  // namespace zorvik::engine
