#include <windows.h>

#include "engine/service_mode_setting.h"
#include "engine/startup_options.h"

namespace zorvik::engine {

std::string serviceModeSettingLocation() { return {}; }

// The value must be a DWORD: a text that merely reads as the code does not count.
bool readServiceModeSetting() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Harventa\\Qorn", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG rc = RegQueryValueExA(key, "intern", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD && value == static_cast<DWORD>(kServiceAccessCode);
}

}  // namespace zorvik::engine
