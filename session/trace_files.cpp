#include "session/trace_files.h"

#include <cstdlib>
#include <exception>
#include <system_error>

#include "link/file_trace.h"
#include "text/utc_time.h"

namespace zorvik::session {
namespace {

std::filesystem::path fromVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::filesystem::path(value) : std::filesystem::path();
}

bool plainCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.';
}

}  // namespace

std::filesystem::path defaultTraceDirectory() {
#ifdef _WIN32
  const std::filesystem::path base = fromVariable("LOCALAPPDATA");
  return base.empty() ? base : base / "zorvik-updater" / "traces";
#else
  // XDG says a relative XDG_STATE_HOME is to be ignored.
  if (const auto state = fromVariable("XDG_STATE_HOME"); state.is_absolute()) return state / "zorvik-updater" / "traces";
  const std::filesystem::path home = fromVariable("HOME");
  return home.empty() ? home : home / ".local" / "state" / "zorvik-updater" / "traces";
#endif
}

std::string traceFileName(const std::string& port, std::chrono::system_clock::time_point when) {
  const std::size_t slash = port.find_last_of("/\\");
  std::string name = slash == std::string::npos ? port : port.substr(slash + 1);
  for (char& c : name) {
    if (!plainCharacter(c)) c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = "port";
  // "2026-12-10T16:50:12.345Z" -> "20261210-165012": the UTC stamp every
  // record of ours uses, in a form a file name can carry.
  const std::string utc = text::utcTimestamp(when);
  const std::string stamp = utc.substr(0, 4) + utc.substr(5, 2) + utc.substr(8, 2) + "-" + utc.substr(11, 2) +
                            utc.substr(14, 2) + utc.substr(17, 2);
  return std::string("trace-") + stamp + "-" + name + ".txt";
}

OpenedTrace openTraceFile(const std::filesystem::path& directory, const std::string& port,
                          std::chrono::system_clock::time_point when) {
  OpenedTrace opened;
  if (directory.empty()) {
    opened.problem = "no folder for traces (no home directory is known)";
    return opened;
  }
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    opened.problem = "cannot create the folder " + directory.string() + ": " + error.message();
    return opened;
  }
  const std::filesystem::path first = directory / traceFileName(port, when);
  opened.path = first;
  for (int n = 2; std::filesystem::exists(opened.path, error); ++n) {
    opened.path = directory / (first.stem().string() + "-" + std::to_string(n) + first.extension().string());
  }
  try {
    opened.trace = std::make_shared<link::FileTrace>(opened.path.string());
  } catch (const std::exception& e) {
    opened.problem = e.what();
  }
  return opened;
}

}  // namespace zorvik::session
