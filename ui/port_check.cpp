#include "ui/port_check.h"

#include "diagnostics/doctor.h"

namespace zorvik::ui {

PortCheck::PortCheck(std::string port, QObject* receiver, Done done)
    : port_(std::move(port)), receiver_(receiver), done_(std::move(done)), thread_([this] { run(); }) {}

PortCheck::~PortCheck() {
  if (thread_.joinable()) thread_.join();
}

void PortCheck::run() {
  Findings findings = diagnostics::checkPortForWindow(port_);
  QMetaObject::invokeMethod(
      receiver_, [done = done_, findings = std::move(findings)] { done(findings); }, Qt::QueuedConnection);
  finished_ = true;
}

}  // namespace zorvik::ui
