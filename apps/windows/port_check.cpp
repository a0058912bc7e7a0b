#include "apps/windows/port_check.h"

#include "diagnostics/doctor.h"

namespace zorvik::win {

using diagnostics::Finding;

void PortCheck::start(std::shared_ptr<EventTarget> target, std::string port) {
  thread_ = std::jthread([target = std::move(target), port = std::move(port)] {
    try {
      auto result = std::make_unique<PortCheckResult>(PortCheckResult{port, diagnostics::checkPortForWindow(port)});
      target->post(kPortCheckMessage, 0, std::move(result));
    } catch (...) {
      // Out of memory for the result: nothing sensible is left to tell anyone,
      // and an exception must not end the program from this thread.
    }
  });
}

std::string checkingText(const std::string& port) { return "Checking " + port + " ..."; }

std::string findingsText(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& f : findings) text += diagnostics::findingLine(f) + "\n";
  return text + diagnostics::summaryLine(findings);
}

std::string noPortText() { return diagnostics::kNoPortChosen; }

}  // namespace zorvik::win
