// The frame of every run: owns the serial port for the run, wakes the logger,
// runs the procedure of its command, closes the port and posts exactly one
// final event (0, 10 or 13), always after the port is closed. A RunHandle
// runs it on a thread of its own; a test or a fuzzer may call execute() in
// place.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "engine/event_sink.h"
#include "engine/run_request.h"
#include "link/link.h"

namespace zorvik {

// The run's request, with whatever a caller left out filled in; a base of
// RunWorker so that it exists before the link is built from it.
struct CompletedRequest {
  explicit CompletedRequest(RunRequest request);
  RunRequest request_;
};

class RunWorker : private CompletedRequest, public Link {
 public:
  RunWorker(RunRequest request, std::shared_ptr<EventSink> sink);

  void execute();

 protected:
  virtual void runUpdate() {}
  virtual void runCommand() { runUpdate(); }
  // The port of this run: the request's port opened at 9600 baud. A test or
  // a fuzzer hands over a port of its own here; the rest of the run is
  // unchanged.
  virtual PortHandle openPort();
  // Why openPort() gave no port, for the final event.
  Failure& openFailure() { return openFailure_; }

  void post(std::uint32_t code, std::int32_t value, std::optional<ImageHeader> image = std::nullopt) const;
  void postFinal(std::uint32_t code, std::int32_t value) const;
  void traceEvent(std::uint32_t code, std::int32_t value) const;
  // Line `index` of `total` has been gone through: a progress event when the
  // percentage moves, carrying the line count.
  void setProgress(std::int32_t index, std::int32_t total);
  static std::uint16_t identityBlockCrc(std::uint16_t updateClass, std::uint16_t updateInfo, std::uint16_t platform,
                                        std::uint16_t print, std::uint16_t reserve);

  // The image this run chose; its success event names it.
  void setChosenImage(ImageHeader header) { chosenImage_ = std::move(header); }
  // What the final event reports of the logger and the choice.
  RunSummary& summary() { return summary_; }

  const RunRequest& request() const { return request_; }
  std::int32_t commandOrdinal() const { return static_cast<std::int32_t>(request_.command); }

 private:
  void wakeAndRun();

  std::shared_ptr<EventSink> sink_;
  std::int32_t progress_ = 0;
  std::optional<ImageHeader> chosenImage_;
  RunSummary summary_;
  Failure openFailure_;
};

}  // namespace zorvik
