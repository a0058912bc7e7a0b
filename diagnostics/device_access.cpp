#include "diagnostics/device_access.h"

#include <algorithm>

namespace zorvik::diagnostics {
namespace {

constexpr std::string_view kCheck = "permission";
constexpr std::string_view kInstallRule = "install the package's rule (sudo apt install ./zorvik-updater_*.deb)";

// File type bits of a mode, as POSIX numbers them everywhere.
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kTypeSocket = 0140000;
constexpr std::uint32_t kTypeLink = 0120000;
constexpr std::uint32_t kTypeRegular = 0100000;
constexpr std::uint32_t kTypeBlock = 0060000;
constexpr std::uint32_t kTypeDirectory = 0040000;
constexpr std::uint32_t kTypeCharacter = 0020000;
constexpr std::uint32_t kTypeFifo = 0010000;

char typeLetter(std::uint32_t fileType) {
  switch (fileType & kTypeMask) {
    case kTypeCharacter: return 'c';
    case kTypeBlock: return 'b';
    case kTypeDirectory: return 'd';
    case kTypeLink: return 'l';
    case kTypeFifo: return 'p';
    case kTypeSocket: return 's';
    case kTypeRegular: return '-';
    default: return '?';
  }
}

bool contains(const std::vector<std::uint32_t>& ids, std::uint32_t id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::string details(const PermissionFacts& facts) {
  return " (" + modeText(facts.fileType, facts.file.mode) + " " + facts.ownerName + ":" + facts.groupName + ")";
}

// How access is granted, for the ok finding; empty when the bits do not say
// (the kernel allowed what they would not).
std::string grantedBy(const PermissionFacts& facts, const UserAccount& user, bool inGroupNow) {
  if (user.uid == 0) return " (as root)";
  if (user.uid == facts.file.ownerUid) return " (you own it)";
  if (aclGrantsUser(facts.file, user.uid)) {
    return " (an ACL grants it to you, as the udev rule does for the user at the desktop)";
  }
  if (inGroupNow && groupGrantsReadWrite(facts.file)) return " (you are in group " + facts.groupName + ")";
  const Requester stranger{0xFFFFFFFEu, {0xFFFFFFFEu}};
  if (allowsReadWrite(facts.file, stranger)) return " (everyone may)";
  return {};
}

}  // namespace

std::string modeText(std::uint32_t fileType, std::uint32_t permissionBits) {
  std::string text(1, typeLetter(fileType));
  constexpr char kLetters[] = "rwx";
  for (int bit = 8; bit >= 0; --bit) {
    text += (permissionBits >> bit & 1u) ? kLetters[(8 - bit) % 3] : '-';
  }
  return text;
}

Finding permissionFinding(const PermissionFacts& facts, const UserAccount& user) {
  std::vector<std::uint32_t> groupsNow = user.sessionGroups;
  groupsNow.push_back(user.gid);
  const bool inGroupNow = contains(groupsNow, facts.file.groupGid);
  const bool inGroupDatabase = user.gid == facts.file.groupGid || contains(user.memberGroups, facts.file.groupGid);
  const bool bitsAllow = user.uid == 0 || allowsReadWrite(facts.file, Requester{user.uid, groupsNow});
  const bool allowed = facts.kernelAllows.value_or(bitsAllow);
  const std::string& group = facts.groupName;

  if (allowed) return {std::string(kCheck), Level::Ok, "you may open it read-write" + grantedBy(facts, user, inGroupNow), {}};

  if (bitsAllow) {
    // The kernel refuses what the bits allow: a security module, a read-only
    // mount, a device cgroup. Nothing the user can change alone.
    std::string found = "the system refuses read-write access although the permissions allow it";
    if (!facts.refusalText.empty()) found += " (" + facts.refusalText + ")";
    return {std::string(kCheck), Level::Fail, found,
            "ask the administrator: a security policy or a read-only mount stands in the way"};
  }

  const bool groupHelps = groupGrantsReadWrite(facts.file);
  const bool sessionLags = groupHelps && !inGroupNow && inGroupDatabase;
  // Not even the owner may: only root can use it as it is.
  const bool ownerLocked = !groupHelps && (facts.file.mode & 0600u) != 0600u;
  const bool ownedByUser = facts.file.ownerUid == user.uid;
  std::string reason;
  if (sessionLags) {
    reason = "you are in group " + group + ", but this login session does not have it yet";
  } else if (groupHelps) {
    reason = "you are not in group " + group;
  } else if (ownerLocked) {
    reason = ownedByUser ? "you own it, but its permissions let not even you read and write it"
                         : "its permissions let no one but root read and write it";
  } else {
    reason = "only its owner " + facts.ownerName + " may read and write it";
  }
  if (facts.usbAdapter) {
    if (!facts.ruleInstalled) {
      reason += " and no udev rule grants access";
    } else if (facts.aclUnknown) {
      reason += " and its ACL could not be read";
    } else {
      reason += " and the installed udev rule has not granted you access";
    }
  }

  std::string fix;
  if (sessionLags) {
    fix = "log out and in again (or start a shell with the group: newgrp " + group + ")";
  } else if (facts.usbAdapter && !facts.ruleInstalled) {
    fix = groupHelps ? std::string(kInstallRule) + " or add yourself to the group " + group + " and log in again"
                     : std::string(kInstallRule) + " and replug the adapter";
  } else if (facts.usbAdapter) {
    fix = "replug the adapter while you are logged in at the desktop: the udev rule grants access to that user";
    if (groupHelps) fix += "; logged in remotely, add yourself to the group " + group + " and log in again";
  } else if (groupHelps) {
    fix = "add yourself to the group " + group + " and log in again";
  } else if (ownerLocked && ownedByUser) {
    fix = "give yourself read and write permission (chmod u+rw on the device), or pick the logger's port: see "
          "zorvik-updater-cli --list-ports";
  } else if (ownerLocked) {
    fix = "ask the administrator to restore the device's permissions (replugging a USB adapter lets udev set them "
          "again), or pick the logger's port: see zorvik-updater-cli --list-ports";
  } else {
    fix = "use it as its owner " + facts.ownerName + ", or pick the logger's port: see zorvik-updater-cli --list-ports";
  }
  return {std::string(kCheck), Level::Fail, reason + details(facts), fix};
}

}  // namespace zorvik::diagnostics
