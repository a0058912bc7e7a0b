// A port that exists but where no logger answers, as a wrong port is met (a
// built-in serial port, another adapter): a pseudo-terminal whose master this
// object holds and never reads or writes. Whatever the updater sends stays
// unanswered.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace zorvik::testing {

class SilentPty {
 public:
  SilentPty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) == 0) path_ = name;
  }
  ~SilentPty() {
    if (master_ >= 0) ::close(master_);
  }
  SilentPty(const SilentPty&) = delete;
  SilentPty& operator=(const SilentPty&) = delete;

  // Empty when no pseudo-terminal could be had.
  const std::string& path() const { return path_; }

 private:
  int master_ = -1;
  std::string path_;
};

}  // namespace zorvik::testing
