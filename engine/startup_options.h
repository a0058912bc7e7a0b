// Start-up options shared by both front ends: the per-user internal (service)
// mode and the "key:value" command-line switches.
#pragma once

#include <string>
#include <vector>

namespace zorvik {

// The four-digit code the per-user value "intern" must hold to unlock the
// internal (service) mode. Given to service staff (README).
constexpr int kInternalAccessCode = 7406;

// True when the per-user value "intern" exists and equals the access code.
// Windows: HKEY_CURRENT_USER\Software\Harventa\Qorn, DWORD "intern".
// Elsewhere: the per-user settings file that Qt's settings use for
// organisation "Harventa", application "Qorn"
// ($XDG_CONFIG_HOME or ~/.config, then Harventa/Qorn.conf, key intern in [General]).
bool ReadInternalMode();
// The settings file consulted off Windows (for messages and tests).
std::string internalModeSettingsPath();

// Value of the first argument starting with key (case-insensitive), when the
// argument is longer than the key; default otherwise. At most 1000 characters.
std::string GetParamValue(const std::vector<std::string>& arguments, const std::string& key,
                          const std::string& defaultValue);

struct StartupOptions {
  bool internalMode = false;
  bool memoryFormat = false;
  int fileMode = 0;  // 0 normal, 1 internal, 2 internal with file mode
};

// Reads the switches in the documented order and sets the engine's check
// options (only in internal mode).
StartupOptions applyStartupOptions(bool internalMode, const std::vector<std::string>& arguments);

}  // namespace zorvik
