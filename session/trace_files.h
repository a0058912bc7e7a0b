// Where a window writes the line trace a user asked for: the user names no
// file there, so each update gets a new one in a per-user folder, named by
// when it started and which port it used, and the report says where it is.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "link/line_trace.h"

namespace zorvik::session {

// $XDG_STATE_HOME/zorvik-updater/traces, else ~/.local/state/zorvik-updater/traces;
// %LOCALAPPDATA%\zorvik-updater\traces on Windows. Empty when neither the
// variable nor a home directory is known.
std::filesystem::path defaultTraceDirectory();

// "trace-20261210-165012-ttyUSB0.txt" (UTC): the last part of the port's
// name, with anything but letters, digits, '-', '_' and '.' made '_'.
std::string traceFileName(const std::string& port, std::chrono::system_clock::time_point when);

struct OpenedTrace {
  std::filesystem::path path;
  std::shared_ptr<link::LineTrace> trace;  // null when it could not be created
  std::string problem;               // why not, in words
};

// Creates the folder if need be and a new trace file in it; a file of the
// same name (two updates in one second) is never overwritten: "-2", "-3", ...
// go before the extension.
OpenedTrace openTraceFile(const std::filesystem::path& directory, const std::string& port,
                          std::chrono::system_clock::time_point when);

}  // namespace zorvik::session
