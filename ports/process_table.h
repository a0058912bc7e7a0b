// Which processes are there, from /proc (Linux only): the ones that hold a
// port open, whether one by a given name runs, and whether the process that
// wrote something earlier still lives. The doctor names the program that
// keeps a port busy; the update history tells a running update from one
// whose program ended without closing its record. It lives in ports/, the
// lowest layer both may use, because /proc is read in one place only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik::ports {

// A process that has a file open.
struct Holder {
  int pid = 0;
  std::string name;  // its comm, "minicom"; "?" when it ended meanwhile
  friend bool operator==(const Holder&, const Holder&) = default;
};

struct HolderScan {
  std::vector<Holder> holders;  // by pid; those that compete for the port
  // Holders of a pseudo-terminal (/dev/pts/N) that also hold its master: the
  // program on the other end of the line (the simulated logger), which
  // serves the port rather than competing for it.
  std::vector<Holder> servers;
  int unreadable = 0;           // processes whose open files this user cannot see
};

// The processes below procRoot with a descriptor open on `systemPath` (the
// file as the kernel names it, /dev/ttyUSB0), this process left out. For
// /dev/pts/N a process that has the master of pty N open (a ptmx descriptor
// whose fdinfo says "tty-index: N") counts among the servers.
HolderScan processesHolding(const std::string& systemPath, const std::filesystem::path& procRoot = "/proc");

// True when some process below procRoot has the command name `comm`.
bool processRunning(std::string_view comm, const std::filesystem::path& procRoot = "/proc");

// Fields 3 (state) and 22 (start time, in clock ticks after boot) of a
// /proc/<pid>/stat line.
struct ProcessStat {
  char state = '?';
  std::string startTime;
  friend bool operator==(const ProcessStat&, const ProcessStat&) = default;
};

// Nothing when the line has not that many fields. Field 2, the command name,
// is in parentheses and may hold blanks and parentheses itself, so the
// fields are counted from the last ')'.
std::optional<ProcessStat> parseProcessStat(std::string_view line);

// Names one process for as long as the machine runs, "<boot id>/<start
// time>": a pid alone comes back for other processes, and after a restart
// of the machine even soon. Empty when /proc does not show the process.
std::string processToken(std::int64_t pid);

// Whether the process `pid`, which had `token` (empty: not known), still
// lives. A process /proc hides (hidepid) counts as living when kill() finds
// it; one that has died but is not yet collected by its parent does not.
bool processLives(std::int64_t pid, const std::string& token);

}  // namespace zorvik::ports
