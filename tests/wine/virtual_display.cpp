#include "tests/wine/virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace zorvik::wine {

namespace {
constexpr int kStartLimitMs = 15000;
}  // namespace

std::unique_ptr<VirtualDisplay> VirtualDisplay::start(const std::string& xvfb, std::string& why) {
  // -displayfd: the server picks a free display number itself and writes it
  // to the pipe once it accepts connections, so no number is guessed and no
  // sleep is needed.
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    why = "no pipe";
    return nullptr;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    why = "fork failed";
    return nullptr;
  }
  if (pid == 0) {
    ::close(pipeFds[0]);
    const int null = ::open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    const std::string fd = std::to_string(pipeFds[1]);
    execl(xvfb.c_str(), xvfb.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(pipeFds[1]);
  std::string number;
  pollfd readable{pipeFds[0], POLLIN, 0};
  while (poll(&readable, 1, kStartLimitMs) > 0) {
    char c = 0;
    if (read(pipeFds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(pipeFds[0]);
  if (number.empty()) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    why = "Xvfb (" + xvfb + ") did not start";
    return nullptr;
  }
  return std::unique_ptr<VirtualDisplay>(new VirtualDisplay(pid, ":" + number));
}

VirtualDisplay::~VirtualDisplay() {
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

}  // namespace zorvik::wine
