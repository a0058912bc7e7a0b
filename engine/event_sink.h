// Where the update thread reports to. A front end supplies one: the desktop
// application posts Qt events to its main window, the command line feeds a
// queue read by its main thread.
#pragma once

#include <cstdint>

namespace zorvik {

class EventSink {
 public:
  virtual ~EventSink() = default;
  // Called from the update thread. Must not block on the receiver and must
  // deliver events in the order of posting.
  virtual void post(std::uint32_t code, std::int32_t value) noexcept = 0;
};

}  // namespace zorvik
