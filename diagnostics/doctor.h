// The port doctor: why a logger's port cannot be used, or is slow, and what
// fixes it. Most failed updates in the field fail before the protocol starts
// (no permission, another program on the port, a modem manager or a Braille
// daemon claiming the adapter, a slow latency timer, a logger left in its
// bootloader), and a person can fix each of them once told which it is.
//
// No toolkit: the command line prints these findings, a window can show them.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "failure.h"
#include "finding.h"
#include "system_roots.h"

namespace zorvik::diagnostics {

// Every check of one port, in order: on Linux the device, its driver, the
// adapter's identity, the udev rule, the permission, other processes,
// ModemManager, brltty and the latency timer; on Windows the serial port map
// and the latency timer; then on both, if the port opens, one wake-up
// exchange with the logger. Checks that cannot apply (a port that does not
// exist has no driver) are left out.
std::vector<Finding> checkPort(const std::string& port, const SystemRoots& roots = {});

// The doctor's command: the checks of `port`, or of every logger port found
// when `port` is empty, one line per check ("ok", "warning", "fail", what was
// found and the fix), then a summary line. With `json` one JSON object per
// line instead (docs/json-events.md, "Doctor"). Returns 0 when no check
// failed, else 1.
int runDoctor(const std::string& port, bool json, std::ostream& out, const SystemRoots& roots = {});

// The last line of the doctor's findings, as the command line prints it:
// "summary: 7 ok, 1 warning, 0 failed: nothing stops an update".
std::string summaryLine(const std::vector<Finding>& findings);

// Why a run failed and what fixes it, in a few words each, for the report's
// last lines. Both empty for FailureKind::None.
struct Explanation {
  std::string reason;
  std::string fix;
  friend bool operator==(const Explanation&, const Explanation&) = default;
};

// The reason and fix for a failure the link reported on `port`. Where the
// system can tell more it is asked now: for a permission failure the
// permission check (groups, ACL, udev rule), for a busy port the processes
// that hold it.
Explanation explainFailure(const std::string& port, const zorvik::Failure& failure, const SystemRoots& roots = {});

}  // namespace zorvik::diagnostics
