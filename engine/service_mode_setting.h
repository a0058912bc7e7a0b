// Whether this user has the service mode unlocked: the per-user value
// "intern" (organisation "Harventa", application "Qorn") holds the access
// code. Both front ends read it through here, once at start-up.
//   Windows: HKEY_CURRENT_USER\Software\Harventa\Qorn, DWORD "intern".
//   Elsewhere: the settings file Qt's settings use for that organisation and
//   application: $XDG_CONFIG_HOME (or ~/.config), Harventa/Qorn.conf, key
//   "intern" in [General].
#pragma once

#include <string>

namespace zorvik::engine {

bool readServiceModeSetting();

// Where the setting lives, for messages and tests ("" where it is the
// registry or no home is known).
std::string serviceModeSettingLocation();

}  // namespace zorvik::engine
