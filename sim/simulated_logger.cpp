// The simulated logger: its protocol model behind a pseudo-terminal shell.
#include "sim/simulated_logger.h"

#include <mutex>

#include "sim/logger_model.h"
#include "sim/pty_shell.h"

namespace zorvik::sim {

struct SimulatedLogger::Impl {
  explicit Impl(const LoggerConfig& config)
      : model(config), shell([this](std::string_view bytes, SimClock::time_point now) { return receive(bytes, now); },
                             model.charTime()) {}

  ShellAnswer receive(std::string_view bytes, SimClock::time_point now) {
    std::lock_guard lock(mutex);
    ModelOutput out = model.receive(bytes, now);
    ShellAnswer answer{std::move(out.replies), std::nullopt};
    if (out.hangUp) answer.hangUpAt = kHangUpNow;
    return answer;
  }

  mutable std::mutex mutex;
  LoggerModel model;  // guarded by mutex
  PtyShell shell;     // after the model: it calls into it until it stops
};

SimulatedLogger::SimulatedLogger(LoggerConfig config) : impl_(std::make_unique<Impl>(config)) {}

SimulatedLogger::~SimulatedLogger() { stop(); }

bool SimulatedLogger::start() { return impl_->shell.start(); }

void SimulatedLogger::stop() { impl_->shell.stop(); }

std::string SimulatedLogger::devicePath() const { return impl_->shell.devicePath(); }

void SimulatedLogger::injectFault(const Fault& fault) {
  std::lock_guard lock(impl_->mutex);
  impl_->model.injectFault(fault);
}

Mode SimulatedLogger::mode() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.mode(SimClock::now());
}

std::vector<Request> SimulatedLogger::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.requests();
}

std::vector<FlashWrite> SimulatedLogger::flashWrites() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.flashWrites();
}

std::map<std::uint16_t, std::string> SimulatedLogger::flash() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.flash();
}

bool SimulatedLogger::programmingOpen() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.programmingOpen();
}

int SimulatedLogger::restarts() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.restarts();
}

std::uint64_t SimulatedLogger::bytesReceived() const { return impl_->shell.bytesReceived(); }

std::uint64_t SimulatedLogger::bytesSent() const { return impl_->shell.bytesSent(); }

LineFaultCounts SimulatedLogger::lineFaultCounts() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.lineFaultCounts();
}

std::uint16_t SimulatedLogger::applicationClass() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.applicationClass();
}

}  // namespace zorvik::sim
