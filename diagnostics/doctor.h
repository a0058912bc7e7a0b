// The port doctor: why a logger's port cannot be used, or is slow, and what
// fixes it. Most failed updates in the field fail before the protocol starts
// (no permission, another program on the port, a modem manager or a Braille
// daemon claiming the adapter, a slow latency timer, a logger left in its
// bootloader), and a person can fix each of them once told which it is.
//
// No toolkit: the command line prints these findings, a window can show them.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/finding.h"
#include "diagnostics/system_roots.h"
#include "engine/failure_explanation.h"
#include "link/failure.h"

namespace zorvik::diagnostics {

// Every check of one port, in order: on Linux the device, its driver, the
// adapter's identity, the udev rule, the permission, other processes,
// ModemManager, brltty and the latency timer; on Windows the serial port map
// and the latency timer; then on both, if the port opens, one wake-up
// exchange with the logger. Checks that cannot apply (a port that does not
// exist has no driver) are left out.
std::vector<Finding> checkPort(const std::string& port, const SystemRoots& roots = {});

// checkPort for a window that runs it on a thread of its own: a check that
// throws (no memory, a system call failing in a way nobody foresaw) becomes
// one failed finding, so the window still gets its answer and the thread
// never ends the program.
std::vector<Finding> checkPortForWindow(const std::string& port) noexcept;

// The doctor's line for one finding: the level padded to eight characters
// (so a fixed-pitch font keeps the columns), the check, what it found and
// the fix: "warning latency: ...; fix: ...".
std::string findingLine(const Finding& finding);

// What a window shows instead of checking when its port box is empty.
inline constexpr const char* kNoPortChosen =
    "No port chosen: type or pick the logger's port in the port box, then check it.";

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
using Explanation = zorvik::engine::Explanation;

// The reason and fix for a failure the link reported on `port`. Where the
// system can tell more it is asked now: for a permission failure the
// permission check (groups, ACL, udev rule), for a busy port the processes
// that hold it. Otherwise the words of engine/failure_explanation.h.
engine::Explanation explainFailure(const std::string& port, const zorvik::link::Failure& failure, const SystemRoots& roots = {});

// Said before an update starts: another program has `port` open (a terminal
// program left running) and will read the logger's answers beside the
// update; which programs, and the fix. Nothing when no other program has it
// open, or only the program serving a pseudo-terminal from its master.
std::optional<engine::Explanation> sharedPortWarning(const std::string& port, const SystemRoots& roots = {});

}  // namespace zorvik::diagnostics
