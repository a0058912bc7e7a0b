#include "port_check.h"

#include <exception>

#include "doctor.h"

namespace zorvik::ui {

PortCheck::PortCheck(std::string port, QObject* receiver, Done done)
    : port_(std::move(port)), receiver_(receiver), done_(std::move(done)), thread_([this] { run(); }) {}

PortCheck::~PortCheck() {
  if (thread_.joinable()) thread_.join();
}

void PortCheck::run() {
  Findings findings;
  try {
    findings = diagnostics::checkPort(port_);
  } catch (const std::exception& e) {
    // Out of memory or a system call that threw: the dialog must still end
    // its "Checking ..." line, and the thread must not take the program down.
    findings.push_back({"check", diagnostics::Level::Fail, std::string("the check stopped: ") + e.what(), {}});
  }
  QMetaObject::invokeMethod(
      receiver_, [done = done_, findings = std::move(findings)] { done(findings); }, Qt::QueuedConnection);
  finished_ = true;
}

}  // namespace zorvik::ui
