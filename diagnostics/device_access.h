// Private to its library.
// May this user open the port for reading and writing, and if not, why not
// and what fixes it. The facts come from the system (linux_checks.cpp); the
// judgement and its words are here, apart, so that every combination of
// groups, ACL and udev rule can be checked without an account for each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/finding.h"
#include "diagnostics/posix_acl.h"

namespace zorvik::diagnostics {

// The user the doctor asks for.
struct UserAccount {
  std::uint32_t uid = 0;
  std::uint32_t gid = 0;  // primary group
  std::string name;
  // The supplementary groups this login has now (getgroups): joining a group
  // takes effect only with the next login.
  std::vector<std::uint32_t> sessionGroups;
  // The groups the group database gives this user: what the next login has.
  std::vector<std::uint32_t> memberGroups;
  // True for the account of this process: then the kernel decides (access()),
  // which also knows root's capabilities and security modules. For any
  // other account the decision is worked out from the mode bits and the ACL.
  bool thisProcess = false;
};

struct PermissionFacts {
  FileAccess file;             // permission bits, owner, group, ACL
  std::uint32_t fileType = 0;  // the type bits of the mode (S_IFCHR, ...), for the ls-style text
  std::string ownerName;       // the owner's name, or its number where it has none
  std::string groupName;       // the group's name, or its number
  bool aclUnknown = false;     // the ACL could not be read
  // What the kernel said for this process; nothing when it was not asked.
  std::optional<bool> kernelAllows;
  std::string refusalText;  // the system's text for a refusal
  bool usbAdapter = false;  // a USB serial adapter: the package's udev rule can grant access
  bool ruleInstalled = false;
};

// "crw-rw----": the type and permission bits as ls shows them.
std::string modeText(std::uint32_t fileType, std::uint32_t permissionBits);

// The "permission" finding: ok with how access is granted, or fail with the
// reason (the groups, the udev rule, the ACL) and the fix.
Finding permissionFinding(const PermissionFacts& facts, const UserAccount& user);

}  // namespace zorvik::diagnostics
