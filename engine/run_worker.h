// The frame of every run: owns the run's link to the logger and through it
// the serial port, wakes the logger, runs the procedure of its command, closes
// the port and posts exactly one final event (0, 10 or 13), always after the
// port is closed. A RunHandle runs it on a thread of its own; a test or a
// fuzzer may call execute() in place.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "engine/event_sink.h"
#include "engine/run_request.h"
#include "engine/update_error.h"
#include "link/link.h"

namespace zorvik::engine {

class RunWorker {
 public:
  RunWorker(RunRequest request, std::shared_ptr<EventSink> sink);
  RunWorker(const RunWorker&) = delete;
  RunWorker& operator=(const RunWorker&) = delete;
  virtual ~RunWorker() = default;

  void execute();

 protected:
  virtual void runUpdate() {}
  virtual void runCommand() { runUpdate(); }
  // The port of this run: the request's port opened at 9600 baud. A test or
  // a fuzzer hands over a port of its own here; the rest of the run is
  // unchanged.
  virtual link::PortHandle openPort();
  // Why openPort() gave no port, for the final event.
  link::Failure& openFailure() { return openFailure_; }

  void post(std::uint32_t code, std::int32_t value, std::optional<images::ImageHeader> image = std::nullopt) const;
  void postFinal(std::uint32_t code, std::int32_t value, link::FailureKind failure = link::FailureKind::None) const;
  void traceEvent(std::uint32_t code, std::int32_t value) const;
  // Line `index` of `total` has been gone through: a progress event when the
  // percentage moves, carrying the line count.
  void setProgress(std::int32_t index, std::int32_t total);
  static std::uint16_t identityBlockCrc(std::uint16_t updateClass, std::uint16_t updateInfo, std::uint16_t platform,
                                        std::uint16_t print, std::uint16_t reserve);

  // The image this run chose; its success event names it.
  void setChosenImage(images::ImageHeader header) { chosenImage_ = std::move(header); }
  // What the final event reports of the logger and the choice.
  RunSummary& summary() { return summary_; }

  const RunRequest& request() const { return request_; }
  // The run's link to the logger: its port is open while the command runs.
  link::Link& link() { return link_; }
  // The run's pauses, the same the link waits between attempts.
  link::Sleeper& sleeper() const { return *request_.sleeper; }
  std::int32_t commandOrdinal() const { return static_cast<std::int32_t>(request_.command); }

 private:
  // Opens the port, wakes the logger and runs the command; the port is
  // closed when it returns or throws.
  void runOnPort();
  void wakeAndRun();
  // What stopped the run with error 0, for the trace.
  void noteStop(const char* what) const noexcept;
  // The final event of a run that failed, with the way its exchange failed.
  void postFailure(ErrorCode code, link::FailureKind failure) const;

  RunRequest request_;  // completed before the link is built from it
  link::Link link_;
  std::shared_ptr<EventSink> sink_;
  std::int32_t progress_ = 0;
  std::optional<images::ImageHeader> chosenImage_;
  RunSummary summary_;
  mutable RunSummary postedSummary_;  // the last one an event carried
  link::Failure openFailure_;
};

}  // namespace zorvik::engine
