// What the command line needs from the console, one file per platform:
// Ctrl-C handling and whether the standard streams are a terminal.
#pragma once

namespace zorvik::cli {

// First Ctrl-C acts as "Cancel": the run ends with error 20 at its next
// exchange and releases the port. A second one quits at once (status 130).
void installInterruptHandler();

// True when the confirmation question can be asked on standard input.
bool stdinIsTerminal();

// True when standard error is a terminal that understands the progress bar's
// carriage return and erase-line control.
bool stderrIsTerminal();

}  // namespace zorvik::cli
