// What the command line needs from the console, one file per platform:
// Ctrl-C handling and whether the standard streams are a terminal.
#pragma once

#include <atomic>

namespace zorvik::cli {

// First Ctrl-C (or SIGTERM, SIGHUP) acts as "Cancel": `cancel` is set, every
// run ends with error 20 at its next exchange and releases its port. Only a
// second Ctrl-C typed on the terminal a second or more after the first quits
// at once (status 130, the ports' exclusive mode cleared); any other signal
// after the first, the duplicates a tool sends to the process and its group
// among them, changes nothing. A closed output pipe is ignored (POSIX: no
// SIGPIPE). `cancel` must outlive the program's runs.
void installInterruptHandler(std::atomic<bool>& cancel);

// A descriptor that becomes readable on the first interrupt; -1 where there
// is none.
int interruptWakeFd();

// True when the confirmation question can be asked on standard input.
bool stdinIsTerminal();

// True when standard error is a terminal that understands the progress bar's
// carriage return and erase-line control.
bool stderrIsTerminal();

}  // namespace zorvik::cli
