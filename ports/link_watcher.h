// Follows a directory of port links, such as /dev/serial/by-id, for a caller
// that waits on a descriptor in its own loop. That directory exists only
// while an adapter is plugged in and goes away with the last one, so while it
// is missing the nearest existing parent is watched until it comes back.
// Nothing is polled: the descriptor becomes readable only when something in
// the watched places changed.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zorvik::ports {

struct LinkChange {
  enum class Kind { Appeared, Vanished };
  Kind kind = Kind::Appeared;
  std::string name;  // the link's file name within the directory
  friend bool operator==(const LinkChange&, const LinkChange&) = default;
};

// Platform file. Linux: inotify. Elsewhere fd() is -1 and nothing changes.
class LinkWatcher {
 public:
  explicit LinkWatcher(std::filesystem::path dir);
  ~LinkWatcher();
  LinkWatcher(const LinkWatcher&) = delete;
  LinkWatcher& operator=(const LinkWatcher&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  // The descriptor to wait on for reading; -1 where the platform offers none.
  int fd() const;

  // Every change since the last call (the first call reports the links that
  // are there already as appeared), in a stable order: vanished ones first,
  // then appeared ones, each by name. Never blocks. Only symbolic links count.
  std::vector<LinkChange> changes();

 private:
  struct Impl;
  std::filesystem::path dir_;
  std::unique_ptr<Impl> impl_;
};

// The USB serial number in a /dev/serial/by-id name
// ("usb-FTDI_FT232R_USB_UART_A12BC3D4-if00-port0" gives "A12BC3D4"); empty
// when the name does not have that form.
std::string serialFromByIdName(const std::string& name);

}  // namespace zorvik::ports
