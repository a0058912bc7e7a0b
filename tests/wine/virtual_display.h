// A virtual X display (Xvfb) for the window tests: Wine draws the Windows
// windows on it, and nothing needs a real screen.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace zorvik::wine {

class VirtualDisplay {
 public:
  // Starts the X server on a free display number; null, with the reason in
  // `why`, when it cannot be started.
  static std::unique_ptr<VirtualDisplay> start(const std::string& xvfb, std::string& why);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& name() const { return name_; }  // ":N", for DISPLAY

 private:
  VirtualDisplay(pid_t pid, std::string name) : pid_(pid), name_(std::move(name)) {}
  pid_t pid_;
  std::string name_;
};

}  // namespace zorvik::wine
