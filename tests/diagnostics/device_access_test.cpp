// The permission finding over every combination that needs other words:
// group membership now and in the group database, the udev rule, the ACL,
// a USB adapter or another device, and the kernel's own answer.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "diagnostics/device_access.h"

namespace zorvik::diagnostics {
namespace {

constexpr std::uint32_t kCharacterDevice = 0020000;
constexpr std::uint32_t kNoId = 0xFFFFFFFF;

// root:dialout crw-rw---- of a USB adapter, as udev leaves it.
PermissionFacts dialoutAdapter() {
  PermissionFacts facts;
  facts.file = {0660, 0, 20, {}};
  facts.fileType = kCharacterDevice;
  facts.ownerName = "root";
  facts.groupName = "dialout";
  facts.usbAdapter = true;
  return facts;
}

UserAccount alice(std::vector<std::uint32_t> session = {1000}, std::vector<std::uint32_t> member = {1000}) {
  return {1000, 1000, "alice", std::move(session), std::move(member), false};
}

struct PermissionCase {
  const char* name;
  PermissionFacts facts;
  UserAccount user;
  Finding expected;
};

// Test names show the case's name, not its bytes.
void PrintTo(const PermissionCase& c, std::ostream* os) { *os << c.name; }

PermissionFacts with(PermissionFacts facts, void (*change)(PermissionFacts&)) {
  change(facts);
  return facts;
}

class PermissionWords : public ::testing::TestWithParam<PermissionCase> {};

TEST_P(PermissionWords, SayWhyAndWhatFixesIt) {
  EXPECT_EQ(permissionFinding(GetParam().facts, GetParam().user), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PermissionWords,
    ::testing::Values(
        PermissionCase{"NotInGroupNoRule", dialoutAdapter(), alice(),
                       {"permission", Level::Fail,
                        "you are not in group dialout and no udev rule grants access (crw-rw---- root:dialout)",
                        "install the package's rule (sudo apt install ./zorvik-updater_*.deb) or add yourself to the "
                        "group dialout and log in again"}},
        PermissionCase{"InGroup", dialoutAdapter(), alice({1000, 20}, {1000, 20}),
                       {"permission", Level::Ok, "you may open it read-write (you are in group dialout)", {}}},
        PermissionCase{"JoinedGroupButNotLoggedInAgain", dialoutAdapter(), alice({1000}, {1000, 20}),
                       {"permission", Level::Fail,
                        "you are in group dialout, but this login session does not have it yet and no udev rule "
                        "grants access (crw-rw---- root:dialout)",
                        "log out and in again (or start a shell with the group: newgrp dialout)"}},
        PermissionCase{"RuleInstalledButNoAclForThisUser",
                       with(dialoutAdapter(), [](PermissionFacts& f) { f.ruleInstalled = true; }), alice(),
                       {"permission", Level::Fail,
                        "you are not in group dialout and the installed udev rule has not granted you access "
                        "(crw-rw---- root:dialout)",
                        "replug the adapter while you are logged in at the desktop: the udev rule grants access to "
                        "that user; logged in remotely, add yourself to the group dialout and log in again"}},
        PermissionCase{"RuleInstalledAclUnreadable",
                       with(dialoutAdapter(),
                            [](PermissionFacts& f) {
                              f.ruleInstalled = true;
                              f.aclUnknown = true;
                            }),
                       alice(),
                       {"permission", Level::Fail,
                        "you are not in group dialout and its ACL could not be read (crw-rw---- root:dialout)",
                        "replug the adapter while you are logged in at the desktop: the udev rule grants access to "
                        "that user; logged in remotely, add yourself to the group dialout and log in again"}},
        PermissionCase{"AclOfTheRuleGrantsAccess",
                       with(dialoutAdapter(),
                            [](PermissionFacts& f) {
                              f.ruleInstalled = true;
                              f.file.acl = {{AclTag::UserObj, 6, kNoId},
                                            {AclTag::User, 6, 1000},
                                            {AclTag::GroupObj, 6, kNoId},
                                            {AclTag::Mask, 6, kNoId},
                                            {AclTag::Other, 0, kNoId}};
                            }),
                       alice(),
                       {"permission", Level::Ok,
                        "you may open it read-write (an ACL grants it to you, as the udev rule does for the user at "
                        "the desktop)",
                        {}}},
        PermissionCase{"OwnerOnlyAdapterNoRule",
                       with(dialoutAdapter(), [](PermissionFacts& f) { f.file.mode = 0600; }), alice(),
                       {"permission", Level::Fail,
                        "only its owner root may read and write it and no udev rule grants access "
                        "(crw------- root:dialout)",
                        "install the package's rule (sudo apt install ./zorvik-updater_*.deb) and replug the "
                        "adapter"}},
        PermissionCase{"PseudoTerminalOfAnotherUser",
                       with(dialoutAdapter(),
                            [](PermissionFacts& f) {
                              f.file = {0620, 0, 5, {}};
                              f.groupName = "tty";
                              f.usbAdapter = false;
                            }),
                       alice({1000, 5}, {1000, 5}),
                       {"permission", Level::Fail, "only its owner root may read and write it (crw--w---- root:tty)",
                        "use it as its owner root, or pick the logger's port: see zorvik-updater-cli --list-ports"}},
        // Mode 000: neither the owner nor anyone else but root gets in.
        PermissionCase{"LockedPortTheUserOwns",
                       with(dialoutAdapter(),
                            [](PermissionFacts& f) {
                              f.file = {0000, 1000, 5, {}};
                              f.ownerName = "alice";
                              f.groupName = "tty";
                              f.usbAdapter = false;
                            }),
                       alice(),
                       {"permission", Level::Fail,
                        "you own it, but its permissions let not even you read and write it (c--------- alice:tty)",
                        "give yourself read and write permission (chmod u+rw on the device), or pick the logger's "
                        "port: see zorvik-updater-cli --list-ports"}},
        PermissionCase{"LockedPortOfAnotherUser",
                       with(dialoutAdapter(),
                            [](PermissionFacts& f) {
                              f.file = {0400, 0, 20, {}};
                              f.usbAdapter = false;
                            }),
                       alice(),
                       {"permission", Level::Fail,
                        "its permissions let no one but root read and write it (cr-------- root:dialout)",
                        "ask the administrator to restore the device's permissions (replugging a USB adapter lets "
                        "udev set them again), or pick the logger's port: see zorvik-updater-cli --list-ports"}},
        PermissionCase{"BuiltInPortOfAGroup",
                       with(dialoutAdapter(), [](PermissionFacts& f) { f.usbAdapter = false; }), alice(),
                       {"permission", Level::Fail, "you are not in group dialout (crw-rw---- root:dialout)",
                        "add yourself to the group dialout and log in again"}},
        PermissionCase{"Root", dialoutAdapter(), UserAccount{0, 0, "root", {0}, {0}, false},
                       {"permission", Level::Ok, "you may open it read-write (as root)", {}}},
        PermissionCase{"KernelAllowsWhatTheBitsDoNotShow",
                       with(dialoutAdapter(), [](PermissionFacts& f) { f.kernelAllows = true; }), alice(),
                       {"permission", Level::Ok, "you may open it read-write", {}}},
        PermissionCase{"KernelRefusesWhatTheBitsAllow",
                       with(dialoutAdapter(),
                            [](PermissionFacts& f) {
                              f.kernelAllows = false;
                              f.refusalText = "Read-only file system";
                            }),
                       alice({1000, 20}, {1000, 20}),
                       {"permission", Level::Fail,
                        "the system refuses read-write access although the permissions allow it (Read-only file "
                        "system)",
                        "ask the administrator: a security policy or a read-only mount stands in the way"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModeText, ShowsTypeAndPermissionsAsLsDoes) {
  EXPECT_EQ(modeText(kCharacterDevice, 0660), "crw-rw----");
  EXPECT_EQ(modeText(kCharacterDevice, 0620), "crw--w----");
  EXPECT_EQ(modeText(0100000, 0755), "-rwxr-xr-x");
}

}  // namespace
}  // namespace zorvik::diagnostics
