// The rules one run obeys. Part of its request: two runs in one process may
// differ, and nothing changes under a run once it has started.
#pragma once

namespace zorvik::engine {

struct RunOptions {
  bool checkClass = true;          // image class must equal the update class
  bool checkFirmwareClass = true;  // a running application must be class 0x6601
  bool checkPlatform = true;       // image platform must equal the logger's
  bool readInfoOnly = false;       // stop with error 70 after selection
  // Stop with error 71, before the bootloader (nothing erased), when the
  // running application already is the newest image for its class.
  bool skipCurrent = false;
  friend bool operator==(const RunOptions&, const RunOptions&) = default;
};

}  // namespace zorvik::engine
