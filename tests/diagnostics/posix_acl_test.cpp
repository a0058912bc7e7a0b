// The ACL attribute as Linux stores it, and the kernel's access rule over the
// mode bits and ACL entries: the cases udev's uaccess and the dialout group
// produce on a port.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "diagnostics/posix_acl.h"

namespace zorvik::diagnostics {
namespace {

using std::string_literals::operator""s;

// Version 2 header, then one entry: tag, perm (16 bits each), id (32 bits).
const std::string kHeader = "\x02\x00\x00\x00"s;
const std::string kOwnerRw = "\x01\x00\x06\x00\xff\xff\xff\xff"s;
const std::string kUser1000Rw = "\x02\x00\x06\x00\xe8\x03\x00\x00"s;
const std::string kGroupRw = "\x04\x00\x06\x00\xff\xff\xff\xff"s;
const std::string kMaskRw = "\x10\x00\x06\x00\xff\xff\xff\xff"s;
const std::string kMaskRead = "\x10\x00\x04\x00\xff\xff\xff\xff"s;
const std::string kOtherNone = "\x20\x00\x00\x00\xff\xff\xff\xff"s;

constexpr std::uint32_t kNoId = 0xFFFFFFFF;

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::optional<std::vector<AclEntry>> expected;
};

// Test names show the case's name, not its bytes.
void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class DecodeAcl : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeAcl, GivesTheEntriesOrNothing) {
  EXPECT_EQ(decodeAcl(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeAcl,
    ::testing::Values(
        DecodeCase{"UaccessForUser1000",
                   kHeader + kOwnerRw + kUser1000Rw + kGroupRw + kMaskRw + kOtherNone,
                   std::vector<AclEntry>{{AclTag::UserObj, 6, kNoId},
                                         {AclTag::User, 6, 1000},
                                         {AclTag::GroupObj, 6, kNoId},
                                         {AclTag::Mask, 6, kNoId},
                                         {AclTag::Other, 0, kNoId}}},
        DecodeCase{"HeaderOnly", kHeader, std::vector<AclEntry>{}},
        DecodeCase{"Empty", "", std::nullopt},
        DecodeCase{"WrongVersion", "\x01\x00\x00\x00"s + kOwnerRw, std::nullopt},
        DecodeCase{"TruncatedEntry", kHeader + kOwnerRw.substr(0, 6), std::nullopt},
        DecodeCase{"UnknownTag", kHeader + "\x40\x00\x06\x00\xff\xff\xff\xff"s, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// root:dialout crw-rw----, with and without an ACL.
FileAccess dialoutPort(std::vector<AclEntry> acl = {}) { return {0660, 0, 20, std::move(acl)}; }

const std::vector<AclEntry> kUaccess1000 = {{AclTag::UserObj, 6, kNoId},
                                            {AclTag::User, 6, 1000},
                                            {AclTag::GroupObj, 6, kNoId},
                                            {AclTag::Mask, 6, kNoId},
                                            {AclTag::Other, 0, kNoId}};
const std::vector<AclEntry> kUaccessMaskedToRead = {{AclTag::UserObj, 6, kNoId},
                                                    {AclTag::User, 6, 1000},
                                                    {AclTag::GroupObj, 6, kNoId},
                                                    {AclTag::Mask, 4, kNoId},
                                                    {AclTag::Other, 0, kNoId}};
const std::vector<AclEntry> kNamedGroup30 = {{AclTag::UserObj, 6, kNoId},
                                             {AclTag::GroupObj, 0, kNoId},
                                             {AclTag::Group, 6, 30},
                                             {AclTag::Mask, 6, kNoId},
                                             {AclTag::Other, 6, kNoId}};

struct AccessCase {
  const char* name;
  FileAccess file;
  Requester who;
  bool allows;
  bool aclGrants;    // aclGrantsUser(file, who.uid)
  bool groupGrants;  // groupGrantsReadWrite(file)
};

// Test names show the case's name, not its bytes.
void PrintTo(const AccessCase& c, std::ostream* os) { *os << c.name; }

class AccessRule : public ::testing::TestWithParam<AccessCase> {};

TEST_P(AccessRule, DecidesAsTheKernel) {
  const AccessCase& c = GetParam();
  EXPECT_EQ(allowsReadWrite(c.file, c.who), c.allows);
  EXPECT_EQ(aclGrantsUser(c.file, c.who.uid), c.aclGrants);
  EXPECT_EQ(groupGrantsReadWrite(c.file), c.groupGrants);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AccessRule,
    ::testing::Values(
        AccessCase{"OwnerOfModeBits", dialoutPort(), {0, {0}}, true, false, true},
        AccessCase{"MemberOfTheGroup", dialoutPort(), {1000, {1000, 20}}, true, false, true},
        AccessCase{"StrangerWithoutGroup", dialoutPort(), {1000, {1000}}, false, false, true},
        AccessCase{"OwnerMayOnlyRead", {0460, 1000, 20, {}}, {1000, {1000, 20}}, false, false, true},
        AccessCase{"OthersMay", {0666, 0, 20, {}}, {1000, {1000}}, true, false, true},
        AccessCase{"GroupMayOnlyWrite", {0620, 0, 5, {}}, {1000, {1000, 5}}, false, false, false},
        AccessCase{"UaccessEntryForThisUser", dialoutPort(kUaccess1000), {1000, {1000}}, true, true, true},
        AccessCase{"UaccessEntryForAnotherUser", dialoutPort(kUaccess1000), {1001, {1001}}, false, false, true},
        AccessCase{"UaccessEntryCutByTheMask", dialoutPort(kUaccessMaskedToRead), {1000, {1000}}, false, false,
                   false},
        // A matching group entry that grants nothing shuts out the others' class.
        AccessCase{"OwningGroupWithoutRightsBeatsOthers", dialoutPort(kNamedGroup30), {1000, {1000, 20}}, false,
                   false, false},
        AccessCase{"NamedGroupEntry", dialoutPort(kNamedGroup30), {1000, {1000, 30}}, true, false, false},
        AccessCase{"OthersThroughTheAcl", dialoutPort(kNamedGroup30), {1000, {1000}}, true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorvik::diagnostics
