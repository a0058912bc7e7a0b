#include "engine/run_worker.h"

#include "engine/events.h"
#include "engine/logger_protocol.h"
#include "link/crc.h"

namespace zorvik::engine {

namespace {

// The request with whatever a caller left out filled in.
RunRequest completed(RunRequest request) {
  if (!request.sleeper) request.sleeper = std::make_shared<link::ThreadSleeper>();
  if (!request.memory) request.memory = std::make_shared<UpdateMemory>();
  return request;
}

}  // namespace

RunWorker::RunWorker(RunRequest request, std::shared_ptr<EventSink> sink)
    : request_(completed(std::move(request))), link_(*request_.sleeper, request_.cancel), sink_(std::move(sink)) {}

void RunWorker::execute() {
  try {
    runOnPort();
    postFinal(kEvSuccess, commandOrdinal());
  } catch (const UpdateError& e) {
    postFailure(e.code(), e.failure());
  } catch (const link::LinkError& e) {
    postFailure(errorCode(e.error()), e.failure());
  } catch (const std::exception& e) {
    noteStop(e.what());
    postFailure(ErrorCode::Fatal, link::FailureKind::None);
  } catch (...) {
    // Neither this code nor the libraries it uses throw anything but
    // std::exception: what lands here carries no text to keep. The run still
    // ends with its one final event.
    postFailure(ErrorCode::Fatal, link::FailureKind::None);
  }
}

void RunWorker::runOnPort() {
  // The port is closed however the command ends, before its final event.
  struct PortCloser {
    link::Link& link;
    ~PortCloser() { link.closePort(); }
  } closer{link_};
  if (request_.trace) request_.trace->note("open " + request_.port);
  link_.attachPort(link::tracedPort(openPort(), request_.trace));
  if (!link_.hasPort()) throw UpdateError(ErrorCode::PortNotReady);
  wakeAndRun();
}

void RunWorker::noteStop(const char* what) const noexcept {
  // The final event carries only error 0; the trace, where there is one,
  // keeps what stopped the run.
  try {
    if (request_.trace) request_.trace->note(std::string("stopped: ") + what);
  } catch (const std::exception&) {
    // The trace cannot take it (out of memory): error 0 is all that is left.
  }
}

void RunWorker::postFailure(ErrorCode code, link::FailureKind failure) const {
  if (code == ErrorCode::NoAnswer) {
    postFinal(kEvNoAnswer, commandOrdinal(), failure);
  } else {
    postFinal(kEvError, errorValue(code), failure);
  }
}

void RunWorker::wakeAndRun() {
  progress_ = 0;
  engine::wakeLogger(link_, *request_.sleeper);
  runCommand();
}

link::PortHandle RunWorker::openPort() { return openLoggerPort(request_.port, openFailure_); }

// What the run has learnt rides on the next event after it changed, so that
// a front end shows the logger's serial number while the update still runs.
void RunWorker::post(std::uint32_t code, std::int32_t value, std::optional<images::ImageHeader> image) const {
  traceEvent(code, value);
  RunEvent event{code, value, std::move(image), std::nullopt};
  if (summary_ != postedSummary_) {
    event.summary = summary_;
    postedSummary_ = summary_;
  }
  sink_->post(std::move(event));
}

void RunWorker::postFinal(std::uint32_t code, std::int32_t value, link::FailureKind failure) const {
  const bool notOpened = code == kEvError && value == errorValue(ErrorCode::PortNotReady);
  const bool cancelled = code == kEvError && value == errorValue(ErrorCode::Cancelled);
  RunEvent event{code, value, code == kEvSuccess ? chosenImage_ : std::nullopt, std::nullopt};
  if (!notOpened) event.summary = summary_;
  if (notOpened) event.failure = openFailure_;
  if (code != kEvSuccess && !notOpened && !cancelled && failure != link::FailureKind::None) {
    event.failure = link::Failure{failure, 0, {}};
  }
  traceEvent(code, value);
  sink_->post(std::move(event));
}

void RunWorker::traceEvent(std::uint32_t code, std::int32_t value) const {
  if (request_.trace) request_.trace->note("event " + std::to_string(code) + " " + std::to_string(value));
}

void RunWorker::setProgress(std::int32_t index, std::int32_t total) {
  // Wider arithmetic than the percentage needs, so a huge index cannot overflow.
  std::int64_t p = total == 0 ? 0 : std::int64_t{index} * 99 / total;
  if (p < 0) p = 0;
  if (p > 99) p = 99;
  if (p != progress_) {
    progress_ = static_cast<std::int32_t>(p);
    traceEvent(kEvProgress, progress_);
    RunEvent event{kEvProgress, progress_};
    event.lines = LineCount{index + 1, total};
    sink_->post(std::move(event));
  }
}

std::uint16_t RunWorker::identityBlockCrc(std::uint16_t updateClass, std::uint16_t updateInfo,
                                          std::uint16_t platform, std::uint16_t print, std::uint16_t reserve) {
  // The logger stores its update identity block low byte first.
  const std::uint16_t words[] = {updateClass, updateInfo, platform, print, reserve};
  std::uint8_t bytes[10];
  for (std::size_t i = 0; i < 5; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
  }
  return link::crc16(bytes, 10);
}

}  // namespace zorvik::engine
