// Program-wide options the update procedure obeys. The three checks are set
// once at start-up; ReadInfoOnly before each run. All are written by the front
// end's thread before it creates a worker and only read by the worker.
#pragma once

#include <atomic>

namespace zorvik {

extern std::atomic<bool> OptCheckClass;          // image class must equal the update class
extern std::atomic<bool> OptCheckFirmwareClass;  // a running application must be class 0x6601
extern std::atomic<bool> OptCheckPlatform;       // image platform must equal the logger's
extern std::atomic<bool> ReadInfoOnly;           // stop with error 70 after selection

}  // namespace zorvik
