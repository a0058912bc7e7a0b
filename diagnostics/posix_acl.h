// Private to its library.
// POSIX access control lists as Linux stores them (the extended attribute
// system.posix_acl_access), and the kernel's rule for what they allow. udev's
// "uaccess" tag grants the user at the desktop access to a port through an
// ACL entry, which the mode bits alone do not show. Pure code: the reading of
// the attribute is the platform file's.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zorvik::diagnostics {

enum class AclTag : std::uint16_t {
  UserObj = 0x01,   // the owner
  User = 0x02,      // a named user
  GroupObj = 0x04,  // the owning group
  Group = 0x08,     // a named group
  Mask = 0x10,      // upper bound for named entries and the owning group
  Other = 0x20,
};

// Permission bits of an entry: the same values as in a mode's class.
constexpr std::uint16_t kAclRead = 4;
constexpr std::uint16_t kAclWrite = 2;

struct AclEntry {
  AclTag tag = AclTag::Other;
  std::uint16_t perm = 0;
  std::uint32_t id = 0;  // uid or gid for User and Group entries
  friend bool operator==(const AclEntry&, const AclEntry&) = default;
};

// Decodes the attribute's bytes: a little-endian version word (2), then
// entries of tag (16 bits), permissions (16 bits) and id (32 bits). Nothing
// for a malformed value.
std::optional<std::vector<AclEntry>> decodeAcl(std::string_view bytes);

// Who asks, and for what.
struct Requester {
  std::uint32_t uid = 0;
  std::vector<std::uint32_t> gids;  // the primary group and every supplementary one
};

// The file's side of an access decision: the permission bits of its mode, its
// owner and group, and its ACL (empty: none).
struct FileAccess {
  std::uint32_t mode = 0;  // permission bits only (0777 mask)
  std::uint32_t ownerUid = 0;
  std::uint32_t groupGid = 0;
  std::vector<AclEntry> acl;
};

// The kernel's decision for read and write together, without the
// capabilities of root (the caller decides those): the owner's class, a
// named user's entry limited by the mask, then any matching group entry
// (limited by the mask) that grants all of it, then the others' class.
bool allowsReadWrite(const FileAccess& file, const Requester& who);

// An ACL entry names this user and grants read and write within the mask:
// access that the mode bits do not show, as udev's uaccess gives it.
bool aclGrantsUser(const FileAccess& file, std::uint32_t uid);

// The owning group's class grants read and write: joining the group would
// help (with an ACL, the mask limits the owning group too).
bool groupGrantsReadWrite(const FileAccess& file);

}  // namespace zorvik::diagnostics
