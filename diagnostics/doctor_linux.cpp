// Linux: the port's device node, what its description says (its tty in
// sysfs, the USB device above it), the processes that hold it, udev's rules
// directories and database. Every
// path is taken below the SystemRoots; texts name the places as a person
// finds them on the machine (/dev/ttyUSB0, /usr/lib/udev/rules.d/...).
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>

#include "diagnostics/doctor_texts.h"
#include "diagnostics/linux_checks.h"
#include "diagnostics/udev_rules.h"
#include "ports/port_description.h"
#include "ports/port_rules.h"
#include "ports/process_table.h"

namespace zorvik::diagnostics {
namespace {

namespace fs = std::filesystem;

using ports::kLoggerSerialDriver;

constexpr std::string_view kListPorts = "see zorvik-updater-cli --list-ports";
constexpr std::string_view kInstallRule = "install the package's rule (sudo apt install ./zorvik-updater_*.deb)";
constexpr std::string_view kDevPrefix = "/dev/";
constexpr std::string_view kAclAttribute = "system.posix_acl_access";
constexpr std::size_t kMaxAclBytes = 64 * 1024;

std::optional<std::string> readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- The device node --------------------------------------------------------

struct DeviceNode {
  std::string port;        // as the user named it
  fs::path path;           // what is opened: below the roots' /dev
  bool exists = false;
  std::string systemPath;  // resolved, as the kernel names it: /dev/ttyUSB0
  struct stat st {};
};

// The port as a path below the roots: "ttyUSB0" and "/dev/ttyUSB0" lie below
// roots.dev; any other path is taken as it is.
fs::path mappedPath(const std::string& port, const SystemRoots& roots) {
  std::string path = port;
  if (!path.empty() && path.front() != '/') path = std::string(kDevPrefix) + path;
  if (path.rfind(kDevPrefix, 0) == 0) return roots.dev / path.substr(kDevPrefix.size());
  return path;
}

DeviceNode resolveDevice(const std::string& port, const SystemRoots& roots) {
  DeviceNode node;
  node.port = port;
  node.path = mappedPath(port, roots);
  node.exists = !port.empty() && ::stat(node.path.c_str(), &node.st) == 0;
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(node.path, ec);
  const fs::path devRoot = fs::weakly_canonical(roots.dev, ec);
  node.systemPath = port;
  if (!resolved.empty()) {
    const fs::path relative = resolved.lexically_relative(devRoot);
    const bool belowDev = !relative.empty() && *relative.begin() != "..";
    node.systemPath = belowDev ? std::string(kDevPrefix) + relative.generic_string() : resolved.string();
  }
  return node;
}

// ---- The tty and the USB device above it -------------------------------------

struct TtyFacts {
  std::string kernelName;  // ttyUSB0, pts/3
  bool pseudoTerminal = false;
  ports::PortDescription port;  // driver, USB device, latency timer, by-id name
  bool usb() const { return port.usb.has_value(); }
  std::string usbId() const { return port.usb ? ports::usbIdText(*port.usb) : std::string(); }
};

ports::DeviceRoots deviceRoots(const SystemRoots& roots) {
  return {roots.sys, roots.dev, roots.dev / "serial" / "by-id"};
}

TtyFacts readTty(const DeviceNode& node, const SystemRoots& roots) {
  TtyFacts tty;
  if (node.systemPath.rfind(kDevPrefix, 0) == 0) tty.kernelName = node.systemPath.substr(kDevPrefix.size());
  tty.pseudoTerminal = tty.kernelName.rfind("pts/", 0) == 0;
  tty.port = ports::describePort(node.path.string(), deviceRoots(roots));
  return tty;
}

// ---- udev's rules directories and database ---------------------------------

struct RulesFile {
  std::string name;
  fs::path path;      // below the roots
  std::string shown;  // where a person finds it: /usr/lib/udev/rules.d/70-...
  bool masked = false;
};

// The rules files udev reads, each name once: a file in /etc overrides one of
// the same name in /run, which overrides the packages' directories.
std::vector<RulesFile> effectiveRules(const SystemRoots& roots) {
  const std::pair<fs::path, std::string> dirs[] = {
      {roots.etcUdev / "rules.d", "/etc/udev/rules.d"},
      {roots.runUdev / "rules.d", "/run/udev/rules.d"},
      {roots.usrLibUdev / "rules.d", "/usr/lib/udev/rules.d"},
      {roots.libUdev / "rules.d", "/lib/udev/rules.d"},
  };
  std::vector<RulesFile> files;
  for (const auto& [dir, shown] : dirs) {
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
      const std::string name = entry.filename().string();
      if (name.size() < 6 || name.substr(name.size() - 6) != ".rules") continue;
      if (std::any_of(files.begin(), files.end(), [&](const RulesFile& f) { return f.name == name; })) continue;
      std::error_code linkError;
      const bool toDevNull = fs::is_symlink(entry, linkError) && fs::read_symlink(entry, linkError) == "/dev/null";
      std::error_code sizeError;
      const bool empty = !toDevNull && fs::is_regular_file(entry, sizeError) && fs::file_size(entry, sizeError) == 0;
      files.push_back({name, entry, shown + "/" + name, toDevNull || empty});
    }
  }
  return files;
}

const RulesFile* findRules(const std::vector<RulesFile>& files, std::string_view name) {
  const auto it = std::find_if(files.begin(), files.end(), [&](const RulesFile& f) { return f.name == name; });
  return it == files.end() ? nullptr : &*it;
}

struct OurRule {
  const RulesFile* file = nullptr;  // nullptr: not there
  bool installed() const { return file != nullptr && !file->masked; }
  bool setsIgnore = false;          // it sets ID_MM_DEVICE_IGNORE
};

OurRule ourRule(const std::vector<RulesFile>& rules) {
  OurRule rule{findRules(rules, kOurRuleName)};
  if (rule.installed()) {
    const auto text = readWhole(rule.file->path);
    rule.setsIgnore = text && rulesSetProperty(*text, kModemManagerIgnore);
  }
  return rule;
}

// The device's entry in udev's database; nothing where udev keeps none.
std::optional<std::string> udevDatabase(const TtyFacts& tty, const SystemRoots& roots) {
  if (tty.port.deviceNumbers.empty()) return std::nullopt;
  return readWhole(roots.runUdev / "data" / ("c" + tty.port.deviceNumbers));
}

// ---- The findings ------------------------------------------------------------

Finding deviceFinding(const DeviceNode& node) {
  if (!node.exists) {
    return {"device", Level::Fail, "no such port: " + node.port, "is the adapter plugged in? " + std::string(kListPorts)};
  }
  std::string name = node.port;
  if (node.systemPath != node.port) name += ", which is " + node.systemPath + ",";
  if (!S_ISCHR(node.st.st_mode)) {
    return {"device", Level::Fail, name + " is no device",
            "name the logger's serial port: " + std::string(kListPorts)};
  }
  return {"device", Level::Ok, node.port + (node.systemPath != node.port ? " exists and is " + node.systemPath : " exists"),
          {}};
}

Finding driverFinding(const DeviceNode& node, const TtyFacts& tty) {
  const std::string pick = "for a real logger pick its USB port: " + std::string(kListPorts);
  const std::string& driver = tty.port.driver;
  if (driver == kLoggerSerialDriver) {
    return {"driver", Level::Ok, "ftdi_sio: an FTDI USB serial adapter" + (tty.usb() ? " (USB " + tty.usbId() + ")" : ""),
            {}};
  }
  if (tty.usb()) {
    return {"driver", Level::Warning,
            (driver.empty() ? std::string("no driver") : driver) + " (USB " + tty.usbId() +
                "): not an FTDI adapter, which the loggers' cables have",
            "connect the logger through its own USB cable"};
  }
  if (tty.pseudoTerminal) {
    return {"driver", Level::Warning,
            "not a USB adapter: " + node.systemPath + " is a pseudo-terminal (as the simulated logger uses)", pick};
  }
  if (!driver.empty()) {
    return {"driver", Level::Warning, "not a USB adapter: a built-in serial port (driver " + driver + ")", pick};
  }
  return {"driver", Level::Warning, "not a USB adapter: no driver serves " + node.systemPath, pick};
}

Finding adapterFinding(const TtyFacts& tty) {
  const std::string& serial = tty.port.usbSerial;
  const std::string& byIdName = tty.port.byIdName;
  std::string found = serial.empty() ? std::string("no USB serial number") : "USB serial number " + serial;
  found += byIdName.empty() ? std::string(", no /dev/serial/by-id link")
                            : ", " + std::string(ports::kSerialByIdDir) + "/" + byIdName;
  return {"adapter", Level::Ok, found, {}};
}

Finding ruleFinding(const OurRule& rule, const std::optional<std::string>& database) {
  if (!rule.file) {
    return {"udev-rule", Level::Warning,
            "the package's udev rule " + std::string(kOurRuleName) +
                " is not installed: without it only the port's group may open the port, ModemManager may probe it "
                "and the latency timer stays at the driver's default",
            std::string(kInstallRule) + " and replug the adapter"};
  }
  if (rule.file->masked) {
    return {"udev-rule", Level::Warning,
            "the package's udev rule is switched off by " + rule.file->shown + " (empty, or a link to /dev/null)",
            "remove " + rule.file->shown + " and replug the adapter"};
  }
  if (rule.setsIgnore && database && !udevProperty(*database, kModemManagerIgnore)) {
    return {"udev-rule", Level::Warning,
            "installed as " + rule.file->shown + ", but not applied to this port yet (it was plugged in before)",
            "replug the adapter"};
  }
  return {"udev-rule", Level::Ok, "installed as " + rule.file->shown, {}};
}

std::optional<std::vector<AclEntry>> readAcl(const fs::path& path, bool& unknown) {
  unknown = false;
  const ssize_t size = ::getxattr(path.c_str(), kAclAttribute.data(), nullptr, 0);
  if (size < 0) {
    // No ACL at all (or none possible here): the mode bits say everything.
    if (errno == ENODATA || errno == ENOTSUP) return std::vector<AclEntry>{};
    unknown = true;
    return std::nullopt;
  }
  std::string bytes(std::min(static_cast<std::size_t>(size), kMaxAclBytes), '\0');
  const ssize_t read = ::getxattr(path.c_str(), kAclAttribute.data(), bytes.data(), bytes.size());
  if (read < 0) {
    unknown = true;
    return std::nullopt;
  }
  bytes.resize(static_cast<std::size_t>(read));
  auto entries = decodeAcl(bytes);
  unknown = !entries.has_value();
  return entries;
}

std::string userName(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16 * 1024);
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
  return std::to_string(uid);
}

std::string groupName(gid_t gid) {
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(64 * 1024);
  if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
  return std::to_string(gid);
}

Finding permissionCheck(const DeviceNode& node, const TtyFacts& tty, const OurRule& rule, const UserAccount& user) {
  PermissionFacts facts;
  facts.file.mode = static_cast<std::uint32_t>(node.st.st_mode) & 0777u;
  facts.file.ownerUid = node.st.st_uid;
  facts.file.groupGid = node.st.st_gid;
  facts.fileType = static_cast<std::uint32_t>(node.st.st_mode) & 0170000u;
  facts.ownerName = userName(node.st.st_uid);
  facts.groupName = groupName(node.st.st_gid);
  if (auto acl = readAcl(node.path, facts.aclUnknown)) facts.file.acl = std::move(*acl);
  if (user.thisProcess) {
    const bool allowed = ::access(node.path.c_str(), R_OK | W_OK) == 0;
    facts.kernelAllows = allowed;
    if (!allowed) facts.refusalText = std::generic_category().message(errno);
  }
  facts.usbAdapter = tty.usb();
  facts.ruleInstalled = rule.installed();
  return permissionFinding(facts, user);
}

// "process 4242 (minicom)", "process 12 (cat) and process 900 (minicom)".
std::string processList(const std::vector<ports::Holder>& processes) {
  std::string list;
  for (std::size_t i = 0; i < processes.size(); ++i) {
    if (i > 0) list += i + 1 == processes.size() ? " and " : ", ";
    list += "process " + std::to_string(processes[i].pid) + " (" + processes[i].name + ")";
  }
  return list;
}

Finding holderFinding(const ports::HolderScan& scan) {
  if (scan.holders.empty()) {
    std::string found = "no other process has it open";
    // The other end of a pseudo-terminal is where the answers come from.
    if (!scan.servers.empty()) found += "; " + processList(scan.servers) + " serves it from the pseudo-terminal's master";
    if (scan.unreadable > 0) {
      found += " (of " + std::to_string(scan.unreadable) +
               " processes of other users the open files cannot be seen without root)";
    }
    return {"holder", Level::Ok, found, {}};
  }
  return {"holder", Level::Fail, "held by " + processList(scan.holders),
          scan.holders.size() == 1 ? "close that program" : "close those programs"};
}

// Failures of the logger's answers that a second reader of the port causes
// as well: it takes bytes of the answers (or all of them), or writes its own.
bool answersSpoiled(link::FailureKind kind) {
  using link::FailureKind;
  return kind == FailureKind::Silent || kind == FailureKind::ShortAnswer || kind == FailureKind::DamagedAnswer ||
         kind == FailureKind::EchoDiffers;
}

// The port opened, but another program has it open too: its reads take the
// logger's answers, which no cable or switch explains. Before an update
// that is a danger, after a failed one the cause.
std::optional<engine::Explanation> sharedPortExplanation(const ports::HolderScan& scan, bool afterFailure) {
  if (scan.holders.empty()) return std::nullopt;
  const std::string close = scan.holders.size() == 1 ? "close that program" : "close those programs";
  if (!afterFailure) {
    return engine::Explanation{
        "another program has the port open too and may take the logger's answers: " + processList(scan.holders),
        close + " before the update"};
  }
  return engine::Explanation{
      "another program has the port open too and takes the logger's answers: " + processList(scan.holders),
      close + " and try again"};
}

// The device's exclusive flag (TIOCEXCL) as another program meets it: an
// open refused with EBUSY, or for root, which may open anyway, the flag
// itself. It belongs to the device, not to a descriptor, and clears only
// when the last program holding the port closes it: an update killed with
// SIGKILL leaves it set as long as anything else keeps the port open (a
// pseudo-terminal's server always does).
bool exclusiveModeSet(const DeviceNode& node) {
  if (!node.exists || !S_ISCHR(node.st.st_mode)) return false;
  const int fd = ::open(node.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;
  int exclusive = 0;
  const bool set = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
  ::close(fd);
  return set;
}

Finding exclusiveFinding(const std::string& device) {
  return {"exclusive", Level::Fail,
          device + " is in exclusive mode (TIOCEXCL): no other program may open it. A running update sets it; "
                   "when none runs, an update that was killed left it set, and it stays while any program keeps "
                   "the port open",
          "if no update runs, close the programs that hold the port (replug the adapter; for a pseudo-terminal "
          "restart the program serving it), or clear the flag now: sudo python3 -c \"import os, fcntl, termios; "
          "fcntl.ioctl(os.open('" +
              device + "', os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK), termios.TIOCNXCL)\""};
}

Finding modemManagerFinding(bool running, const OurRule& rule, const std::optional<std::string>& database) {
  if (!running) return {"modemmanager", Level::Ok, "ModemManager is not running", {}};
  const std::optional<std::string> ignore = database ? udevProperty(*database, kModemManagerIgnore) : std::nullopt;
  if (ignore && *ignore == "1") {
    return {"modemmanager", Level::Ok, "ModemManager is running and leaves this port alone (ID_MM_DEVICE_IGNORE is set)",
            {}};
  }
  if (!database && rule.installed() && rule.setsIgnore) {
    return {"modemmanager", Level::Ok,
            "ModemManager is running; the installed udev rule tells it to leave the loggers' ports alone", {}};
  }
  return {"modemmanager", Level::Warning,
          "ModemManager is running and may send modem commands to this port: nothing tells it to leave the port "
          "alone (ID_MM_DEVICE_IGNORE)",
          rule.installed() && rule.setsIgnore
              ? "replug the adapter, so that the installed udev rule marks it"
              : std::string(kInstallRule) +
                    " and replug the adapter, or stop ModemManager: sudo systemctl stop ModemManager"};
}

// The brltty rules file that claims the adapter (product: any of the vendor's)
// and the rule in it.
struct BrlttyClaim {
  const RulesFile* file = nullptr;
  std::string rule;
};

std::optional<BrlttyClaim> brlttyClaim(const std::vector<RulesFile>& rules, std::uint16_t vendor,
                                       std::optional<std::uint16_t> product) {
  for (const RulesFile& file : rules) {
    if (file.masked || file.name.find("brltty") == std::string::npos) continue;
    const auto text = readWhole(file.path);
    if (!text) continue;
    if (auto rule = claimingRule(*text, vendor, product)) return BrlttyClaim{&file, std::move(*rule)};
  }
  return std::nullopt;
}

std::string brlttyFix(const RulesFile& file) {
  return "without a Braille display: sudo apt remove brltty; or switch its rule off: sudo ln -s /dev/null "
         "/etc/udev/rules.d/" +
         file.name + ", then replug the adapter";
}

Finding brlttyFinding(const std::vector<RulesFile>& rules, const TtyFacts& tty, bool running) {
  const auto claim = brlttyClaim(rules, tty.port.usb->vendor, tty.port.usb->product);
  if (!claim) return {"brltty", Level::Ok, "no brltty rule claims USB devices " + tty.usbId(), {}};
  return {"brltty", Level::Warning,
          "brltty's udev rule " + claim->file->shown + " claims USB devices " + tty.usbId() +
              ", this adapter: when it is plugged in, brltty may take it from its driver and the port disappears" +
              (running ? " (brltty is running)" : ""),
          brlttyFix(*claim->file)};
}

Finding latencyCheck(const TtyFacts& tty, const OurRule& rule) {
  const std::string shown = "/sys/bus/usb-serial/devices/" + tty.kernelName + "/latency_timer";
  const std::string setNow = "echo 1 | sudo tee " + shown;
  return latencyFinding(tty.port.latencyMs, rule.installed()
                                     ? "replug the adapter: the installed udev rule sets 1 ms (or now: " + setNow + ")"
                                     : setNow + " (until the adapter is unplugged); the package's udev rule sets "
                                                "1 ms at every plug-in");
}

}  // namespace

UserAccount currentUser() {
  UserAccount user;
  user.uid = ::getuid();
  user.gid = ::getgid();
  user.name = userName(::getuid());
  user.thisProcess = true;
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) user.sessionGroups.push_back(groups[static_cast<std::size_t>(i)]);
  }
  int memberCount = 64;
  std::vector<gid_t> members(static_cast<std::size_t>(memberCount));
  if (::getgrouplist(user.name.c_str(), user.gid, members.data(), &memberCount) < 0 && memberCount > 0) {
    members.resize(static_cast<std::size_t>(memberCount));
    if (::getgrouplist(user.name.c_str(), user.gid, members.data(), &memberCount) < 0) memberCount = 0;
  }
  for (int i = 0; i < memberCount; ++i) user.memberGroups.push_back(members[static_cast<std::size_t>(i)]);
  return user;
}

detail::PlatformChecks linuxChecks(const std::string& port, const SystemRoots& roots, const UserAccount& user) {
  detail::PlatformChecks checks;
  const DeviceNode node = resolveDevice(port, roots);
  checks.openPath = node.path.string();
  checks.findings.push_back(deviceFinding(node));
  const std::vector<RulesFile> rules = effectiveRules(roots);
  if (!node.exists) {
    checks.tryOpen = false;
    // brltty takes an adapter away as it is plugged in: then its port never
    // appears, and this is the one place left to look.
    if (const auto claim = brlttyClaim(rules, ports::kLoggerUsbVendor, std::nullopt)) {
      checks.findings.push_back(
          {"brltty", Level::Warning,
           "brltty's udev rule " + claim->file->shown +
               " claims FTDI adapters (USB vendor 0403): it may have taken the adapter from its driver as it was "
               "plugged in, so that no port appeared",
           brlttyFix(*claim->file)});
    }
    return checks;
  }
  const TtyFacts tty = readTty(node, roots);
  const OurRule rule = ourRule(rules);
  const std::optional<std::string> database = udevDatabase(tty, roots);
  checks.findings.push_back(driverFinding(node, tty));
  if (tty.usb()) {
    checks.findings.push_back(adapterFinding(tty));
    checks.findings.push_back(ruleFinding(rule, database));
  }
  checks.findings.push_back(permissionCheck(node, tty, rule, user));
  checks.findings.push_back(holderFinding(ports::processesHolding(node.systemPath, roots.proc)));
  if (exclusiveModeSet(node)) checks.findings.push_back(exclusiveFinding(node.systemPath));
  if (tty.usb()) {
    checks.findings.push_back(modemManagerFinding(ports::processRunning("ModemManager", roots.proc), rule, database));
    checks.findings.push_back(brlttyFinding(rules, tty, ports::processRunning("brltty", roots.proc)));
  }
  if (tty.port.driver == kLoggerSerialDriver) checks.findings.push_back(latencyCheck(tty, rule));
  return checks;
}

namespace detail {

PlatformChecks platformChecks(const std::string& port, const SystemRoots& roots) {
  return linuxChecks(port, roots, currentUser());
}

std::vector<std::string> loggerPortsToCheck(const SystemRoots& roots) {
  return ports::listLoggerPorts(deviceRoots(roots));
}

std::optional<engine::Explanation> platformExplanation(const std::string& port, const link::Failure& failure,
                                               const SystemRoots& roots) {
  const DeviceNode node = resolveDevice(port, roots);
  if (failure.kind == link::FailureKind::Busy) {
    const ports::HolderScan scan = ports::processesHolding(node.systemPath, roots.proc);
    if (scan.holders.empty() && exclusiveModeSet(node)) {
      const Finding exclusive = exclusiveFinding(node.systemPath);
      return engine::Explanation{exclusive.found, exclusive.fix};
    }
    if (scan.holders.empty()) return std::nullopt;
    const Finding holder = holderFinding(scan);
    return engine::Explanation{holder.found, holder.fix};
  }
  if (answersSpoiled(failure.kind)) {
    return sharedPortExplanation(ports::processesHolding(node.systemPath, roots.proc), true);
  }
  if (failure.kind == link::FailureKind::NoPermission && node.exists) {
    const TtyFacts tty = readTty(node, roots);
    const Finding permission = permissionCheck(node, tty, ourRule(effectiveRules(roots)), currentUser());
    // Allowed by now (fixed meanwhile, or a refusal the bits do not show):
    // the plain words, with the system's text, say more.
    if (permission.level == Level::Ok) return std::nullopt;
    return engine::Explanation{permission.found, permission.fix};
  }
  return std::nullopt;
}

std::optional<engine::Explanation> platformSharedPort(const std::string& port, const SystemRoots& roots) {
  const DeviceNode node = resolveDevice(port, roots);
  if (!node.exists) return std::nullopt;
  return sharedPortExplanation(ports::processesHolding(node.systemPath, roots.proc), false);
}

}  // namespace detail
}  // namespace zorvik::diagnostics
