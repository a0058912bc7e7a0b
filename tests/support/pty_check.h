// Whether this machine can give the tests a pseudo-terminal. The link and
// engine tests run against the simulated logger on one; where none can be had
// (a container without /dev/pts) they skip with the reason instead of failing.
#pragma once

#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace zorvik::testing {

// Empty when a pseudo-terminal can be opened; otherwise why not.
inline std::string ptyUnavailableReason() {
#ifdef _WIN32
  return "pseudo-terminals are a POSIX facility";
#else
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) {
    return std::string("no pseudo-terminal available (posix_openpt: ") + std::strerror(errno) +
           "); these tests need /dev/ptmx and a devpts mount on /dev/pts";
  }
  std::string reason;
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname(master) == nullptr) {
    reason = std::string("pseudo-terminal slave not usable (") + std::strerror(errno) + "); check the devpts mount";
  }
  ::close(master);
  return reason;
#endif
}

}  // namespace zorvik::testing
