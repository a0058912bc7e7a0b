#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "link/serial_port.h"

namespace zorvik {

// "Permission denied" on a USB serial port is the most common reason a serial
// tool fails on Linux; the plain "not ready" text would leave the user guessing.
std::string openFailureHint(const std::string& portName) {
  const std::string path = devicePath(portName);
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  if (::access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES) return {};
  std::string groupName;
  if (const group* g = ::getgrgid(st.st_gid)) groupName = g->gr_name;
  std::string hint = "No permission to use " + path +
                     ": install the udev rule that comes with the updater (see README)";
  if (!groupName.empty()) hint += ", or add yourself to the group \"" + groupName + "\" and log in again";
  return hint + ".";
}

}  // namespace zorvik
