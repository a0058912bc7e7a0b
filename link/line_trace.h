// A record of everything a run says and hears on its port, for support to
// read and for the simulated logger to answer as the traced logger did. The
// run writes to a LineTrace it is given; where the record goes (a bounded
// file, a test's memory) is the trace's own business.
//
// Thread safety: a trace belongs to one run, and is called from that run's
// thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/serial_port.h"

namespace zorvik::link {

class LineTrace {
 public:
  virtual ~LineTrace() = default;
  virtual void written(const std::uint8_t* data, std::size_t count) = 0;
  virtual void received(const std::uint8_t* data, std::size_t count) = 0;
  // Anything else worth reading beside the bytes: the port opened, each
  // event of the run.
  virtual void note(const std::string& text) = 0;
};

// A port that tells `trace` every byte written to and read from `inner`.
// Null in, null out.
PortHandle tracedPort(PortHandle inner, std::shared_ptr<LineTrace> trace);

}  // namespace zorvik::link
