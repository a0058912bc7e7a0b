// Where a window puts the trace of an update: a new file per update, named so
// that a person finds the right one, never over an earlier one, and a clear
// reason when it cannot be had.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

#include "link/file_trace.h"
#include "session/trace_files.h"

namespace zorvik::testing {
namespace {

namespace fs = std::filesystem;

// 2026-12-10 16:50:12 UTC.
const auto kWhen = std::chrono::system_clock::from_time_t(1796921412);

fs::path scratchDir(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("zorvik-trace-files-" + std::to_string(::getpid()) + "-" + name);
  fs::remove_all(dir);
  return dir;
}

std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

TEST(TraceFiles, NameTellsWhenAndWhichPort) {
  const std::pair<const char*, const char*> cases[] = {
      {"/dev/ttyUSB0", "trace-20261210-165012-ttyUSB0.txt"},
      {"/dev/serial/by-id/usb-Maker_Adapter_A1B2-if00-port0",
       "trace-20261210-165012-usb-Maker_Adapter_A1B2-if00-port0.txt"},
      {"COM3", "trace-20261210-165012-COM3.txt"},
      {"\\\\.\\COM12", "trace-20261210-165012-COM12.txt"},
      {"/tmp/odd name:*?", "trace-20261210-165012-odd_name___.txt"},
      {"/dev/", "trace-20261210-165012-port.txt"},
      {"..", "trace-20261210-165012-port.txt"},
  };
  for (const auto& [port, name] : cases) EXPECT_EQ(session::traceFileName(port, kWhen), name) << port;
}

TEST(TraceFiles, EachUpdateGetsANewFileInAFolderMadeForIt) {
  const fs::path dir = scratchDir("new") / "deeper" / "traces";
  const session::OpenedTrace first = session::openTraceFile(dir, "/dev/ttyUSB0", kWhen);
  ASSERT_TRUE(first.trace) << first.problem;
  first.trace->note("first update");
  const session::OpenedTrace second = session::openTraceFile(dir, "/dev/ttyUSB0", kWhen);
  const session::OpenedTrace third = session::openTraceFile(dir, "/dev/ttyUSB0", kWhen);
  ASSERT_TRUE(second.trace && third.trace);
  EXPECT_EQ(first.path, dir / "trace-20261210-165012-ttyUSB0.txt");
  EXPECT_EQ(second.path, dir / "trace-20261210-165012-ttyUSB0-2.txt");
  EXPECT_EQ(third.path, dir / "trace-20261210-165012-ttyUSB0-3.txt");
  for (const auto& opened : {first, second, third}) EXPECT_EQ(firstLine(opened.path), link::kTraceHeader);
  std::ifstream in(first.path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("# first update"), std::string::npos) << "the first file was not written over";
  fs::remove_all(dir.parent_path().parent_path());
}

TEST(TraceFiles, AFolderThatCannotBeMadeIsAReasonNotATrace) {
  const fs::path base = scratchDir("blocked");
  fs::create_directories(base);
  std::ofstream(base / "file") << "a file where the folder should be";
  const struct {
    const char* name;
    fs::path dir;
    const char* words;
  } cases[] = {
      {"a file in the way", base / "file" / "traces", "cannot create the folder"},
      {"no folder known", fs::path(), "no folder for traces"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const session::OpenedTrace opened = session::openTraceFile(c.dir, "/dev/ttyUSB0", kWhen);
    EXPECT_FALSE(opened.trace);
    EXPECT_NE(opened.problem.find(c.words), std::string::npos) << opened.problem;
  }
  fs::remove_all(base);
}

// Sets an environment variable for one scope, and puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(TraceFiles, DefaultFolderFollowsTheUsersStateHome) {
  const struct {
    const char* name;
    const char* stateHome;
    const char* home;
    const char* expected;
  } cases[] = {
      {"state home set", "/var/state", "/home/ann", "/var/state/zorvik-updater/traces"},
      {"a relative state home is ignored", "state", "/home/ann", "/home/ann/.local/state/zorvik-updater/traces"},
      {"no state home", nullptr, "/home/ann", "/home/ann/.local/state/zorvik-updater/traces"},
      {"nothing known", nullptr, nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedVariable state("XDG_STATE_HOME", c.stateHome);
    const ScopedVariable home("HOME", c.home);
    EXPECT_EQ(session::defaultTraceDirectory(), fs::path(c.expected));
  }
}

}  // namespace
}  // namespace zorvik::testing
