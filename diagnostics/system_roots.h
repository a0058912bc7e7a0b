// Private to its library.
// Where the checks look for the system's state. Every place is a parameter,
// so that the tests can build a whole system (a sysfs, a /proc, udev's
// directories) in a temporary directory and meet each case without the
// hardware or the processes it needs. Windows reads the registry instead and
// uses none of these.
#pragma once

#include <filesystem>

namespace zorvik::diagnostics {

struct SystemRoots {
  std::filesystem::path sys = "/sys";
  std::filesystem::path proc = "/proc";
  std::filesystem::path dev = "/dev";
  std::filesystem::path etcUdev = "/etc/udev";
  std::filesystem::path runUdev = "/run/udev";
  std::filesystem::path libUdev = "/lib/udev";
  // Packages install their rules here; udev reads it as well as /lib/udev,
  // which only a merged /usr makes the same directory.
  std::filesystem::path usrLibUdev = "/usr/lib/udev";

  // All of them below one directory: base/sys, base/proc, base/dev,
  // base/etc/udev, base/run/udev, base/lib/udev, base/usr/lib/udev.
  static SystemRoots under(const std::filesystem::path& base) {
    return {base / "sys",      base / "proc",     base / "dev",        base / "etc" / "udev",
            base / "run" / "udev", base / "lib" / "udev", base / "usr" / "lib" / "udev"};
  }
};

}  // namespace zorvik::diagnostics
