// The Linux checks over systems built in a temporary directory: each case
// builds what a machine in the field would have (an FTDI adapter, a
// pseudo-terminal, a terminal program on the port, ModemManager, brltty's
// rules, a slow latency timer) and names the finding and its fix text.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <regex>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include "diagnostics/doctor.h"
#include "diagnostics/linux_checks.h"
#include "diagnostics/platform_checks.h"
#include "tests/diagnostics/fake_system.h"
#include "tests/diagnostics/json_line.h"

namespace zorvik::diagnostics {
namespace {

using testing::FakeSystem;

constexpr const char* kById = "usb-FTDI_FT232R_USB_UART_FT4ABC12-if00-port0";
constexpr const char* kOurRule =
    "SUBSYSTEM==\"tty\", SUBSYSTEMS==\"usb-serial\", DRIVERS==\"ftdi_sio\", TAG+=\"uaccess\", "
    "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
    "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\"\n";
constexpr const char* kBrltty6001 =
    "# Device: 0403:6001\n"
    "ENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"at,ce,hm\", GOTO=\"brltty_usb_run\"\n";
constexpr const char* kBrltty6010 = "ENV{PRODUCT}==\"403/6010/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"hm\", GOTO=\"brltty_usb_run\"\n";
constexpr const char* kInstall = "install the package's rule (sudo apt install ./zorvik-updater_*.deb)";
constexpr const char* kListPorts = "see zorvik-updater-cli --list-ports";

// A user of the tests' own: never this process, so the permission is worked
// out from the mode bits and the ACL of the stand-in nodes.
UserAccount alice(std::vector<std::uint32_t> session = {4321}, std::vector<std::uint32_t> member = {4321}) {
  return {4321, 4321, "alice", std::move(session), std::move(member), false};
}

void ftdi(FakeSystem& s) { s.addUsbTty({}); }

// The node root:dialout crw-rw---- as udev makes it. Only root can give a
// file away; the cases that need it skip otherwise.
void dialoutNode(FakeSystem& s, const std::string& name = "ttyUSB0") {
  const group* dialout = ::getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  ASSERT_EQ(::chown(s.path("dev/" + name).c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(s.path("dev/" + name).c_str(), 0660), 0);
}

std::string whyOwnershipCannotBeGiven() {
  if (::geteuid() != 0) return "giving a stand-in node to root:dialout needs root";
  const group* dialout = ::getgrnam("dialout");
  if (dialout == nullptr) return "this system has no group dialout";
  // The accounts of these cases name the group by number, as Debian has it.
  if (dialout->gr_gid != 20) return "group dialout is not group 20 here";
  return {};
}

struct TreeCase {
  const char* name;
  std::function<void(FakeSystem&)> build;
  std::string port;
  UserAccount user;
  Finding expected;  // the finding of expected.check
  bool needsOwnership = false;
};

// Test names show the case's name, not its bytes.
void PrintTo(const TreeCase& c, std::ostream* os) { *os << c.name; }

class FakeTree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(FakeTree, GivesTheFindingAndItsFix) {
  const TreeCase& c = GetParam();
  if (c.needsOwnership) {
    if (const std::string why = whyOwnershipCannotBeGiven(); !why.empty()) GTEST_SKIP() << why;
  }
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  c.build(system);
  if (::testing::Test::HasFatalFailure()) return;
  const auto findings = linuxChecks(c.port, system.roots(), c.user).findings;
  const auto it = std::find_if(findings.begin(), findings.end(),
                               [&](const Finding& f) { return f.check == c.expected.check; });
  ASSERT_NE(it, findings.end()) << "no " << c.expected.check << " finding";
  EXPECT_EQ(*it, c.expected);
}

const std::string kLatencyFixWithoutRule =
    "echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer (until the adapter is unplugged); the "
    "package's udev rule sets 1 ms at every plug-in";
const std::string kBrlttyFix =
    "without a Braille display: sudo apt remove brltty; or switch its rule off: sudo ln -s /dev/null "
    "/etc/udev/rules.d/85-brltty.rules, then replug the adapter";

INSTANTIATE_TEST_SUITE_P(
    Cases, FakeTree,
    ::testing::Values(
        // The device and what its name resolves to.
        TreeCase{"StandInNodeIsNoDevice", ftdi, "/dev/ttyUSB0", alice(),
                 // A stand-in node is a regular file, which no port can be.
                 {"device", Level::Fail, "/dev/ttyUSB0 is no device", "name the logger's serial port: " + std::string(kListPorts)}},
        TreeCase{"DeviceMissing", ftdi, "/dev/ttyUSB7", alice(),
                 {"device", Level::Fail, "no such port: /dev/ttyUSB7",
                  "is the adapter plugged in? " + std::string(kListPorts)}},
        TreeCase{"BareNameLiesInDev", ftdi, "ttyUSB0", alice(),
                 {"driver", Level::Ok, "ftdi_sio: an FTDI USB serial adapter (USB 0403:6001)", {}}},
        TreeCase{"ByIdNameResolves",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addByIdLink(kById, "ttyUSB0");
                 },
                 std::string("/dev/serial/by-id/") + kById, alice(),
                 {"device", Level::Fail,
                  std::string("/dev/serial/by-id/") + kById + ", which is /dev/ttyUSB0, is no device",
                  "name the logger's serial port: " + std::string(kListPorts)}},
        // Driver and adapter.
        TreeCase{"FtdiAdapter", ftdi, "/dev/ttyUSB0", alice(),
                 {"driver", Level::Ok, "ftdi_sio: an FTDI USB serial adapter (USB 0403:6001)", {}}},
        TreeCase{"SerialNumberAndByIdLink",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addByIdLink(kById, "ttyUSB0");
                 },
                 "/dev/ttyUSB0", alice(),
                 {"adapter", Level::Ok,
                  std::string("USB serial number FT4ABC12, /dev/serial/by-id/") + kById, {}}},
        TreeCase{"NoSerialNumberNoLink", [](FakeSystem& s) { s.addUsbTty({.serial = ""}); }, "/dev/ttyUSB0", alice(),
                 {"adapter", Level::Ok, "no USB serial number, no /dev/serial/by-id link", {}}},
        TreeCase{"OtherUsbAdapter",
                 [](FakeSystem& s) { s.addUsbTty({.driver = "cp210x", .vendor = "10c4", .product = "ea60"}); },
                 "/dev/ttyUSB0", alice(),
                 {"driver", Level::Warning, "cp210x (USB 10c4:ea60): not an FTDI adapter, which the loggers' cables have",
                  "connect the logger through its own USB cable"}},
        TreeCase{"PseudoTerminal", [](FakeSystem& s) { s.addNode("pts/3"); }, "/dev/pts/3", alice(),
                 {"driver", Level::Warning,
                  "not a USB adapter: /dev/pts/3 is a pseudo-terminal (as the simulated logger uses)",
                  "for a real logger pick its USB port: " + std::string(kListPorts)}},
        TreeCase{"NoDriverInSysfs",
                 [](FakeSystem& s) {
                   s.addNode("tty1");
                   std::filesystem::create_directories(s.path("sys/class/tty/tty1"));
                 },
                 "/dev/tty1", alice(),
                 {"driver", Level::Warning, "not a USB adapter: no driver serves /dev/tty1",
                  "for a real logger pick its USB port: " + std::string(kListPorts)}},
        // The udev rule.
        TreeCase{"RuleAbsent", ftdi, "/dev/ttyUSB0", alice(),
                 {"udev-rule", Level::Warning,
                  "the package's udev rule 70-zorvik-logger.rules is not installed: without it only the port's group "
                  "may open the port, ModemManager may probe it and the latency timer stays at the driver's default",
                  std::string(kInstall) + " and replug the adapter"}},
        TreeCase{"RulePresent",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addRules("usr/lib", "70-zorvik-logger.rules", kOurRule);
                 },
                 "/dev/ttyUSB0", alice(),
                 {"udev-rule", Level::Ok, "installed as /usr/lib/udev/rules.d/70-zorvik-logger.rules", {}}},
        TreeCase{"RuleSwitchedOffInEtc",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addRules("usr/lib", "70-zorvik-logger.rules", kOurRule);
                   s.addRules("etc", "70-zorvik-logger.rules", "");
                 },
                 "/dev/ttyUSB0", alice(),
                 {"udev-rule", Level::Warning,
                  "the package's udev rule is switched off by /etc/udev/rules.d/70-zorvik-logger.rules (empty, or a "
                  "link to /dev/null)",
                  "remove /etc/udev/rules.d/70-zorvik-logger.rules and replug the adapter"}},
        TreeCase{"RuleNotAppliedYet",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addRules("lib", "70-zorvik-logger.rules", kOurRule);
                   s.addUdevData("188:0", "E:ID_VENDOR_ID=0403\nG:systemd\n");
                 },
                 "/dev/ttyUSB0", alice(),
                 {"udev-rule", Level::Warning,
                  "installed as /lib/udev/rules.d/70-zorvik-logger.rules, but not applied to this port yet (it was "
                  "plugged in before)",
                  "replug the adapter"}},
        // Permission.
        TreeCase{"NoPermissionWithGroup",
                 [](FakeSystem& s) {
                   ftdi(s);
                   dialoutNode(s);
                 },
                 "/dev/ttyUSB0", alice(),
                 {"permission", Level::Fail,
                  "you are not in group dialout and no udev rule grants access (-rw-rw---- root:dialout)",
                  std::string(kInstall) + " or add yourself to the group dialout and log in again"},
                 true},
        TreeCase{"UserInGroup",
                 [](FakeSystem& s) {
                   ftdi(s);
                   dialoutNode(s);
                 },
                 "/dev/ttyUSB0", alice({4321, 20}, {4321, 20}),
                 {"permission", Level::Ok, "you may open it read-write (you are in group dialout)", {}},
                 true},
        TreeCase{"RuleInstalledButNotForThisUser",
                 [](FakeSystem& s) {
                   ftdi(s);
                   dialoutNode(s);
                   s.addRules("usr/lib", "70-zorvik-logger.rules", kOurRule);
                 },
                 "/dev/ttyUSB0", alice(),
                 {"permission", Level::Fail,
                  "you are not in group dialout and the installed udev rule has not granted you access (-rw-rw---- "
                  "root:dialout)",
                  "replug the adapter while you are logged in at the desktop: the udev rule grants access to that "
                  "user; logged in remotely, add yourself to the group dialout and log in again"},
                 true},
        // Other processes.
        TreeCase{"HeldByMinicom",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addProcess(1234, "minicom", {{0, "/dev/pts/1"}, {3, "/dev/ttyUSB0"}});
                   s.addProcess(99, "bash", {{0, "/dev/pts/1"}});
                 },
                 "/dev/ttyUSB0", alice(), {"holder", Level::Fail, "held by process 1234 (minicom)", "close that program"}},
        TreeCase{"HeldWhenNamedByItsById",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addByIdLink(kById, "ttyUSB0");
                   s.addProcess(1234, "minicom", {{3, "/dev/ttyUSB0"}});
                 },
                 std::string("/dev/serial/by-id/") + kById, alice(),
                 {"holder", Level::Fail, "held by process 1234 (minicom)", "close that program"}},
        TreeCase{"HeldByTwo",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addProcess(1234, "minicom", {{3, "/dev/ttyUSB0"}});
                   s.addProcess(4321, "cat", {{0, "/dev/ttyUSB0"}});
                 },
                 "/dev/ttyUSB0", alice(),
                 {"holder", Level::Fail, "held by process 1234 (minicom) and process 4321 (cat)", "close those programs"}},
        TreeCase{"AnotherPortHeld",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addProcess(1234, "minicom", {{3, "/dev/ttyUSB1"}});
                 },
                 "/dev/ttyUSB0", alice(), {"holder", Level::Ok, "no other process has it open", {}}},
        // ModemManager.
        TreeCase{"ModemManagerNotRunning", ftdi, "/dev/ttyUSB0", alice(),
                 {"modemmanager", Level::Ok, "ModemManager is not running", {}}},
        TreeCase{"ModemManagerWithIgnoreTag",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addProcess(812, "ModemManager");
                   s.addRules("usr/lib", "70-zorvik-logger.rules", kOurRule);
                   s.addUdevData("188:0", "E:ID_MM_DEVICE_IGNORE=1\nG:uaccess\n");
                 },
                 "/dev/ttyUSB0", alice(),
                 {"modemmanager", Level::Ok,
                  "ModemManager is running and leaves this port alone (ID_MM_DEVICE_IGNORE is set)", {}}},
        TreeCase{"ModemManagerWithoutIgnoreTag",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addProcess(812, "ModemManager");
                   s.addUdevData("188:0", "E:ID_VENDOR_ID=0403\n");
                 },
                 "/dev/ttyUSB0", alice(),
                 {"modemmanager", Level::Warning,
                  "ModemManager is running and may send modem commands to this port: nothing tells it to leave the "
                  "port alone (ID_MM_DEVICE_IGNORE)",
                  std::string(kInstall) +
                      " and replug the adapter, or stop ModemManager: sudo systemctl stop ModemManager"}},
        TreeCase{"ModemManagerRuleInstalledNotApplied",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addProcess(812, "ModemManager");
                   s.addRules("usr/lib", "70-zorvik-logger.rules", kOurRule);
                   s.addUdevData("188:0", "E:ID_VENDOR_ID=0403\n");
                 },
                 "/dev/ttyUSB0", alice(),
                 {"modemmanager", Level::Warning,
                  "ModemManager is running and may send modem commands to this port: nothing tells it to leave the "
                  "port alone (ID_MM_DEVICE_IGNORE)",
                  "replug the adapter, so that the installed udev rule marks it"}},
        // brltty.
        TreeCase{"BrlttyClaimsThisAdapter",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addRules("lib", "85-brltty.rules", kBrltty6001);
                 },
                 "/dev/ttyUSB0", alice(),
                 {"brltty", Level::Warning,
                  "brltty's udev rule /lib/udev/rules.d/85-brltty.rules claims USB devices 0403:6001, this adapter: "
                  "when it is plugged in, brltty may take it from its driver and the port disappears",
                  kBrlttyFix}},
        TreeCase{"BrlttyRunningAndClaiming",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addRules("lib", "85-brltty.rules", kBrltty6001);
                   s.addProcess(640, "brltty");
                 },
                 "/dev/ttyUSB0", alice(),
                 {"brltty", Level::Warning,
                  "brltty's udev rule /lib/udev/rules.d/85-brltty.rules claims USB devices 0403:6001, this adapter: "
                  "when it is plugged in, brltty may take it from its driver and the port disappears (brltty is "
                  "running)",
                  kBrlttyFix}},
        TreeCase{"BrlttyClaimsAnotherProduct",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addRules("lib", "85-brltty.rules", kBrltty6010);
                 },
                 "/dev/ttyUSB0", alice(), {"brltty", Level::Ok, "no brltty rule claims USB devices 0403:6001", {}}},
        TreeCase{"BrlttyRuleSwitchedOff",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.addRules("lib", "85-brltty.rules", kBrltty6001);
                   std::filesystem::create_symlink("/dev/null", s.path("etc/udev/rules.d/85-brltty.rules"));
                 },
                 "/dev/ttyUSB0", alice(), {"brltty", Level::Ok, "no brltty rule claims USB devices 0403:6001", {}}},
        TreeCase{"BrlttyWhereNoPortAppeared",
                 [](FakeSystem& s) { s.addRules("usr/lib", "85-brltty.rules", kBrltty6001); }, "/dev/ttyUSB0",
                 alice(),
                 {"brltty", Level::Warning,
                  "brltty's udev rule /usr/lib/udev/rules.d/85-brltty.rules claims FTDI adapters (USB vendor 0403): "
                  "it may have taken the adapter from its driver as it was plugged in, so that no port appeared",
                  kBrlttyFix}},
        // The latency timer.
        TreeCase{"Latency16",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.setLatency("ttyUSB0", "16");
                 },
                 "/dev/ttyUSB0", alice(),
                 {"latency", Level::Warning,
                  "the FTDI latency timer is 16 ms (1 ms is best): each answer can wait up to 16 ms longer, so an "
                  "update of the largest built-in image (828 line exchanges) can take up to about 13 s longer",
                  kLatencyFixWithoutRule}},
        TreeCase{"Latency16WithRuleInstalled",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.setLatency("ttyUSB0", "16");
                   s.addRules("usr/lib", "70-zorvik-logger.rules", kOurRule);
                 },
                 "/dev/ttyUSB0", alice(),
                 {"latency", Level::Warning,
                  "the FTDI latency timer is 16 ms (1 ms is best): each answer can wait up to 16 ms longer, so an "
                  "update of the largest built-in image (828 line exchanges) can take up to about 13 s longer",
                  "replug the adapter: the installed udev rule sets 1 ms (or now: echo 1 | sudo tee "
                  "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer)"}},
        TreeCase{"Latency1",
                 [](FakeSystem& s) {
                   ftdi(s);
                   s.setLatency("ttyUSB0", "1");
                 },
                 "/dev/ttyUSB0", alice(), {"latency", Level::Ok, "the FTDI latency timer is 1 ms", {}}},
        TreeCase{"LatencyUnreadable", ftdi, "/dev/ttyUSB0", alice(),
                 {"latency", Level::Warning, "the FTDI latency timer could not be read", kLatencyFixWithoutRule}}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<std::string> checkNames(const std::vector<Finding>& findings) {
  std::vector<std::string> names;
  for (const Finding& f : findings) names.push_back(f.check);
  return names;
}

struct ScopeCase {
  const char* name;
  std::function<void(FakeSystem&)> build;
  std::string port;
  std::vector<std::string> checks;
  bool tryOpen;
};

// Test names show the case's name, not its bytes.
void PrintTo(const ScopeCase& c, std::ostream* os) { *os << c.name; }

class CheckScope : public ::testing::TestWithParam<ScopeCase> {};

// Checks that cannot apply are left out: a pseudo-terminal has no adapter,
// udev rule, latency timer; a missing port has nothing but its absence.
TEST_P(CheckScope, RunsTheChecksThatApply) {
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  GetParam().build(system);
  const auto checks = linuxChecks(GetParam().port, system.roots(), alice());
  EXPECT_EQ(checkNames(checks.findings), GetParam().checks);
  EXPECT_EQ(checks.tryOpen, GetParam().tryOpen);
  EXPECT_EQ(checks.openPath, (system.path("dev") / GetParam().port.substr(5)).string());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckScope,
    ::testing::Values(
        ScopeCase{"FtdiAdapter", ftdi, "/dev/ttyUSB0",
                  {"device", "driver", "adapter", "udev-rule", "permission", "holder", "modemmanager", "brltty",
                   "latency"},
                  true},
        ScopeCase{"OtherUsbAdapterHasNoLatencyTimer",
                  [](FakeSystem& s) { s.addUsbTty({.driver = "pl2303", .vendor = "067b", .product = "2303"}); },
                  "/dev/ttyUSB0",
                  {"device", "driver", "adapter", "udev-rule", "permission", "holder", "modemmanager", "brltty"},
                  true},
        ScopeCase{"PseudoTerminal", [](FakeSystem& s) { s.addNode("pts/3"); }, "/dev/pts/3",
                  {"device", "driver", "permission", "holder"}, true},
        ScopeCase{"Missing", ftdi, "/dev/ttyUSB9", {"device"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// uaccess: udev's ACL entry for the user at the desktop opens the port to
// that user alone. Needs a file system that keeps POSIX ACLs.
TEST(FakeTreeAcl, AnAclEntryForTheUserGrantsAccess) {
  if (const std::string why = whyOwnershipCannotBeGiven(); !why.empty()) GTEST_SKIP() << why;
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  system.addUsbTty({});
  system.addRules("usr/lib", "70-zorvik-logger.rules", kOurRule);
  dialoutNode(system);
  // owner rw, user 4321 rw, group rw, mask rw, others none
  const std::string acl("\x02\x00\x00\x00"
                        "\x01\x00\x06\x00\xff\xff\xff\xff"
                        "\x02\x00\x06\x00\xe1\x10\x00\x00"
                        "\x04\x00\x06\x00\xff\xff\xff\xff"
                        "\x10\x00\x06\x00\xff\xff\xff\xff"
                        "\x20\x00\x00\x00\xff\xff\xff\xff",
                        44);
  if (::setxattr(system.path("dev/ttyUSB0").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
    GTEST_SKIP() << "the temporary directory keeps no POSIX ACLs: " << std::strerror(errno);
  }
  const auto findings = linuxChecks("/dev/ttyUSB0", system.roots(), alice()).findings;
  const auto it = std::find_if(findings.begin(), findings.end(), [](const Finding& f) { return f.check == "permission"; });
  ASSERT_NE(it, findings.end());
  EXPECT_EQ(*it, (Finding{"permission", Level::Ok,
                          "you may open it read-write (an ACL grants it to you, as the udev rule does for the user at "
                          "the desktop)",
                          {}}));
  // Someone else at the same machine still is not let in.
  UserAccount bob{4322, 4322, "bob", {4322}, {4322}, false};
  const auto forBob = linuxChecks("/dev/ttyUSB0", system.roots(), bob).findings;
  const auto bobs = std::find_if(forBob.begin(), forBob.end(), [](const Finding& f) { return f.check == "permission"; });
  ASSERT_NE(bobs, forBob.end());
  EXPECT_EQ(bobs->level, Level::Fail);
  EXPECT_EQ(bobs->found,
            "you are not in group dialout and the installed udev rule has not granted you access (-rw-rw---- "
            "root:dialout)");
}

TEST(FakeTreeExplanation, BusyNamesTheHolder) {
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  system.addUsbTty({});
  system.addProcess(1234, "minicom", {{3, "/dev/ttyUSB0"}});
  EXPECT_EQ(explainFailure("/dev/ttyUSB0", {link::FailureKind::Busy, 16, "Device or resource busy"}, system.roots()),
            (engine::Explanation{"held by process 1234 (minicom)", "close that program"}));
}

TEST(FakeTreePorts, LoggerPortsAreTheFtdiTtysInNaturalOrder) {
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  for (const char* name : {"ttyUSB10", "ttyUSB1", "ttyUSB0"}) system.addUsbTty({.name = name});
  system.addUsbTty({.name = "ttyACM0", .driver = "cdc_acm"});
  std::filesystem::create_directories(system.path("sys/class/tty/tty1"));
  EXPECT_EQ(detail::loggerPortsToCheck(system.roots()),
            (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB10"}));
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(FakeTreeDoctor, SaysWhenNoLoggerPortIsThere) {
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  std::ostringstream out;
  EXPECT_EQ(runDoctor("", false, out, system.roots()), 1);
  EXPECT_EQ(lines(out.str()),
            (std::vector<std::string>{
                "fail    ports: no logger port found (no port of the loggers' USB adapters); fix: is the adapter "
                "plugged in? see zorvik-updater-cli --list-ports",
                "summary: 0 ok, 0 warnings, 1 failed: an update cannot work until the failed checks are fixed"}));
}

TEST(FakeTreeDoctor, SaysWhenNoLoggerPortIsThereInJson) {
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  std::ostringstream out;
  EXPECT_EQ(runDoctor("", true, out, system.roots()), 1);
  const auto text = lines(out.str());
  ASSERT_EQ(text.size(), 2u);
  const auto check = testing::parseJsonLine(text[0]);
  ASSERT_TRUE(check) << text[0];
  EXPECT_EQ(check->size(), 8u) << text[0];
  EXPECT_EQ(check->at("type"), (testing::JsonValue{true, "check"}));
  EXPECT_EQ(check->at("check"), (testing::JsonValue{true, "ports"}));
  EXPECT_EQ(check->at("level"), (testing::JsonValue{true, "fail"}));
  EXPECT_EQ(check->at("found"), (testing::JsonValue{true, "no logger port found (no port of the loggers' USB adapters)"}));
  EXPECT_EQ(check->at("fix"),
            (testing::JsonValue{true, "is the adapter plugged in? see zorvik-updater-cli --list-ports"}));
  EXPECT_EQ(check->at("port"), (testing::JsonValue{true, ""}));
  EXPECT_EQ(check->at("schema"), (testing::JsonValue{false, "2"}));
  ASSERT_TRUE(check->at("utc").isString);
  EXPECT_TRUE(std::regex_match(check->at("utc").text, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
      << check->at("utc").text;
  const auto summary = testing::parseJsonLine(text[1]);
  ASSERT_TRUE(summary) << text[1];
  EXPECT_EQ(summary->at("type"), (testing::JsonValue{true, "summary"}));
  EXPECT_EQ(summary->at("ports"), (testing::JsonValue{false, "0"}));
  EXPECT_EQ(summary->at("ok"), (testing::JsonValue{false, "0"}));
  EXPECT_EQ(summary->at("warning"), (testing::JsonValue{false, "0"}));
  EXPECT_EQ(summary->at("fail"), (testing::JsonValue{false, "1"}));
  EXPECT_EQ(summary->at("status"), (testing::JsonValue{false, "1"}));
}

// With several logger ports every line names its port, the ports in their
// natural order, and one summary at the end.
TEST(FakeTreeDoctor, ChecksEveryLoggerPortWhenNoneIsNamed) {
  FakeSystem system;
  ASSERT_TRUE(system.ready());
  system.addUsbTty({.name = "ttyUSB1", .devNumbers = "188:1"});
  system.addUsbTty({.name = "ttyUSB0"});
  std::ostringstream out;
  EXPECT_EQ(runDoctor("", false, out, system.roots()), 1);  // stand-in nodes are no devices
  const auto text = lines(out.str());
  ASSERT_GE(text.size(), 3u);
  std::vector<std::string> order;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const std::string prefix = text[i].substr(0, text[i].find(' '));
    if (order.empty() || order.back() != prefix) order.push_back(prefix);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"[/dev/ttyUSB0]", "[/dev/ttyUSB1]"}));
  EXPECT_EQ(text[0], "[/dev/ttyUSB0] fail    device: /dev/ttyUSB0 is no device; fix: name the logger's serial port: "
                     "see zorvik-updater-cli --list-ports");
  EXPECT_EQ(text.back().rfind("summary: ", 0), 0u) << text.back();
}

}  // namespace
}  // namespace zorvik::diagnostics
