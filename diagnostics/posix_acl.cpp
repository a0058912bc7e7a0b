#include "diagnostics/posix_acl.h"

#include <algorithm>

namespace zorvik::diagnostics {
namespace {

constexpr std::uint32_t kAclVersion = 2;
constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kEntryBytes = 8;
constexpr std::uint16_t kReadWrite = kAclRead | kAclWrite;

std::uint32_t littleEndian(std::string_view bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = count; i-- > 0;) {
    value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  }
  return value;
}

bool validTag(std::uint32_t tag) {
  switch (tag) {
    case 0x01: case 0x02: case 0x04: case 0x08: case 0x10: case 0x20: return true;
    default: return false;
  }
}

bool grantsReadWrite(std::uint32_t perm) { return (perm & kReadWrite) == kReadWrite; }

// The class bits of a mode: owner 6, group 3, others 0.
std::uint16_t modeClass(std::uint32_t mode, int shift) { return static_cast<std::uint16_t>(mode >> shift & 7u); }

bool hasGroup(const Requester& who, std::uint32_t gid) {
  return std::find(who.gids.begin(), who.gids.end(), gid) != who.gids.end();
}

// The entry of a tag that occurs once (owner, owning group, mask, others).
const AclEntry* single(const std::vector<AclEntry>& acl, AclTag tag) {
  const auto it = std::find_if(acl.begin(), acl.end(), [&](const AclEntry& e) { return e.tag == tag; });
  return it == acl.end() ? nullptr : &*it;
}

// The mask, or all bits when the ACL has none (then it has no named entries).
std::uint16_t maskOf(const std::vector<AclEntry>& acl) {
  const AclEntry* mask = single(acl, AclTag::Mask);
  return mask ? mask->perm : std::uint16_t{7};
}

}  // namespace

std::optional<std::vector<AclEntry>> decodeAcl(std::string_view bytes) {
  if (bytes.size() < kHeaderBytes || (bytes.size() - kHeaderBytes) % kEntryBytes != 0) return std::nullopt;
  if (littleEndian(bytes, 0, 4) != kAclVersion) return std::nullopt;
  std::vector<AclEntry> entries;
  for (std::size_t at = kHeaderBytes; at < bytes.size(); at += kEntryBytes) {
    const std::uint32_t tag = littleEndian(bytes, at, 2);
    if (!validTag(tag)) return std::nullopt;
    entries.push_back({static_cast<AclTag>(tag), static_cast<std::uint16_t>(littleEndian(bytes, at + 2, 2)),
                       littleEndian(bytes, at + 4, 4)});
  }
  return entries;
}

bool allowsReadWrite(const FileAccess& file, const Requester& who) {
  if (file.acl.empty()) {
    if (who.uid == file.ownerUid) return grantsReadWrite(modeClass(file.mode, 6));
    if (hasGroup(who, file.groupGid)) return grantsReadWrite(modeClass(file.mode, 3));
    return grantsReadWrite(modeClass(file.mode, 0));
  }
  const std::vector<AclEntry>& acl = file.acl;
  const std::uint16_t mask = maskOf(acl);
  if (who.uid == file.ownerUid) {
    const AclEntry* owner = single(acl, AclTag::UserObj);
    return owner && grantsReadWrite(owner->perm);
  }
  for (const AclEntry& e : acl) {
    if (e.tag == AclTag::User && e.id == who.uid) return grantsReadWrite(e.perm & mask);
  }
  // Any one matching group entry that grants everything asked decides; a
  // match that does not grant it still shuts out the others' class.
  bool groupMatched = false;
  for (const AclEntry& e : acl) {
    const bool matches = (e.tag == AclTag::GroupObj && hasGroup(who, file.groupGid)) ||
                         (e.tag == AclTag::Group && hasGroup(who, e.id));
    if (!matches) continue;
    if (grantsReadWrite(e.perm & mask)) return true;
    groupMatched = true;
  }
  if (groupMatched) return false;
  const AclEntry* other = single(acl, AclTag::Other);
  return other && grantsReadWrite(other->perm);
}

bool aclGrantsUser(const FileAccess& file, std::uint32_t uid) {
  const std::uint16_t mask = maskOf(file.acl);
  return std::any_of(file.acl.begin(), file.acl.end(), [&](const AclEntry& e) {
    return e.tag == AclTag::User && e.id == uid && grantsReadWrite(e.perm & mask);
  });
}

bool groupGrantsReadWrite(const FileAccess& file) {
  if (file.acl.empty()) return grantsReadWrite(modeClass(file.mode, 3));
  const AclEntry* group = single(file.acl, AclTag::GroupObj);
  return group && grantsReadWrite(group->perm & maskOf(file.acl));
}

}  // namespace zorvik::diagnostics
