// Child processes for the benchmarks that measure a program as a person
// starts it: fork + exec, and wait4 for its CPU time and peak memory.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace zorvik::bench {

using Clock = std::chrono::steady_clock;

struct Child {
  pid_t pid = -1;
};

// fork + exec with the given descriptors as 0, 1, 2 (-1: /dev/null) and extra
// environment entries. Exits 127 in the child when exec fails. The parent may
// run threads (the in-process simulators), so the child does nothing but
// rearrange descriptors before exec.
inline Child spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int out, int err) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, 0);
    ::dup2(out >= 0 ? out : devNull, 1);
    ::dup2(err >= 0 ? err : devNull, 2);
    for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return Child{pid};
}

struct Ended {
  int status = 0;
  rusage usage{};
  Clock::time_point at{};
};

// Waits for the child to end; after `timeoutS` it is killed (a hung run must
// not hang the suite) and the result says so through its status.
inline Ended waitFor(const Child& child, double timeoutS = 0) {
  Ended e;
  const int pidfd = timeoutS > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0)) : -1;
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    int n = 0;
    while ((n = ::poll(&p, 1, static_cast<int>(timeoutS * 1000))) < 0 && errno == EINTR) {
    }
    if (n == 0) {
      std::fprintf(stderr, "bench: %d still running after %.0f s, killed\n", child.pid, timeoutS);
      ::kill(child.pid, SIGKILL);
    }
    ::close(pidfd);
  }
  while (::wait4(child.pid, &e.status, 0, &e.usage) < 0 && errno == EINTR) {
  }
  e.at = Clock::now();
  return e;
}

inline double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}
inline double since(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
inline double megabytes(long maxrssKb) { return static_cast<double>(maxrssKb) / 1024.0; }

}  // namespace zorvik::bench
