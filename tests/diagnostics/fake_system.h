// A Linux system built in a temporary directory, as far as the doctor reads
// one: sysfs (a tty, the USB device above it, the latency timer), /dev with
// stand-in nodes and by-id links, /proc with processes and their open files,
// and udev's rules directories and database. Device nodes are regular files:
// the checks read their owner, group and mode, and none of these tests opens
// them as a port.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/system_roots.h"

namespace zorvik::diagnostics::testing {

namespace fs = std::filesystem;

class FakeSystem {
 public:
  FakeSystem() {
    std::string pattern = ::testing::TempDir() + "fake_system.XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) base_ = pattern;
    for (const char* dir : {"sys/class/tty", "proc", "dev", "etc/udev/rules.d", "run/udev/data",
                            "lib/udev/rules.d", "usr/lib/udev/rules.d"}) {
      fs::create_directories(base_ / dir);
    }
  }
  ~FakeSystem() {
    std::error_code ignored;
    if (!base_.empty()) fs::remove_all(base_, ignored);
  }
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  bool ready() const { return !base_.empty(); }
  SystemRoots roots() const { return SystemRoots::under(base_); }
  const fs::path& base() const { return base_; }
  fs::path path(const std::string& relative) const { return base_ / relative; }

  static void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
  }

  // A USB serial tty as the kernel shows it: the USB device (vendor, product,
  // serial) with an interface, the usb-serial port device with its driver,
  // the tty class entry, its device numbers, and the /dev node.
  struct UsbTty {
    std::string name = "ttyUSB0";
    std::string driver = "ftdi_sio";
    std::string vendor = "0403";
    std::string product = "6001";
    std::string serial = "FT4ABC12";
    std::string devNumbers = "188:0";
  };
  void addUsbTty(const UsbTty& tty) {
    const fs::path usbDevice = base_ / "sys/devices/pci0000:00/usb1/1-1";
    write(usbDevice / "idVendor", tty.vendor + "\n");
    write(usbDevice / "idProduct", tty.product + "\n");
    if (!tty.serial.empty()) write(usbDevice / "serial", tty.serial + "\n");
    const fs::path portDevice = usbDevice / "1-1:1.0" / tty.name;
    fs::create_directories(portDevice);
    if (!tty.driver.empty()) {
      fs::create_directory_symlink("../../../../../../bus/usb-serial/drivers/" + tty.driver, portDevice / "driver");
    }
    const fs::path classDevice = portDevice / "tty" / tty.name;
    write(classDevice / "dev", tty.devNumbers + "\n");
    fs::create_directory_symlink("../../../" + tty.name, classDevice / "device");
    fs::create_directory_symlink("../../devices/pci0000:00/usb1/1-1/1-1:1.0/" + tty.name + "/tty/" + tty.name,
                                 base_ / "sys/class/tty" / tty.name);
    write(base_ / "dev" / tty.name, "");
  }

  // A tty with no device behind it in sysfs (a virtual console) or none at
  // all (a pseudo-terminal under dev/pts); only the /dev node.
  void addNode(const std::string& relative) { write(base_ / "dev" / relative, ""); }

  void setLatency(const std::string& tty, const std::string& value) {
    write(base_ / "sys/bus/usb-serial/devices" / tty / "latency_timer", value + "\n");
  }

  void addByIdLink(const std::string& name, const std::string& tty) {
    fs::create_directories(base_ / "dev/serial/by-id");
    fs::create_symlink("../../" + tty, base_ / "dev/serial/by-id" / name);
  }

  // A process with its comm and open files: descriptor -> the path the
  // kernel shows for it.
  void addProcess(int pid, const std::string& comm, const std::vector<std::pair<int, std::string>>& fds = {}) {
    const fs::path dir = base_ / "proc" / std::to_string(pid);
    write(dir / "comm", comm + "\n");
    fs::create_directories(dir / "fd");
    for (const auto& [fd, target] : fds) fs::create_symlink(target, dir / "fd" / std::to_string(fd));
  }

  // The fdinfo of a process's descriptor, as /proc/PID/fdinfo/FD shows it.
  void addFdInfo(int pid, int fd, const std::string& text) {
    write(base_ / "proc" / std::to_string(pid) / "fdinfo" / std::to_string(fd), text);
  }

  // A rules file in one of udev's directories: "etc", "run", "lib", "usr/lib".
  void addRules(const std::string& where, const std::string& name, const std::string& text) {
    write(base_ / where / "udev/rules.d" / name, text);
  }

  void addUdevData(const std::string& devNumbers, const std::string& text) {
    write(base_ / "run/udev/data" / ("c" + devNumbers), text);
  }

 private:
  fs::path base_;
};

}  // namespace zorvik::diagnostics::testing
