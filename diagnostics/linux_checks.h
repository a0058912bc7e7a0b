// Private to its library.
// The Linux side of the doctor: what sysfs, /proc, udev's rules and database
// and the device node itself say about a port. Everything is read below the
// given roots, so the tests build each case as a tree in a temporary
// directory; only the account (groups, ACL decision) comes from the caller.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "diagnostics/device_access.h"
#include "diagnostics/platform_checks.h"
#include "diagnostics/system_roots.h"

namespace zorvik::diagnostics {

// The account of this process: its ids, name, the groups of this login and
// those the group database gives it. thisProcess is true.
UserAccount currentUser();

// The checks of one port before it is opened, for `user`: device, driver,
// adapter, udev rule, permission, holder, ModemManager, brltty, latency
// (those that apply to the port).
detail::PlatformChecks linuxChecks(const std::string& port, const SystemRoots& roots, const UserAccount& user);

}  // namespace zorvik::diagnostics
