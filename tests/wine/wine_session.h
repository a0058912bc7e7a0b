// Runs Windows programs under Wine from host tests: a private prefix under the
// build directory, a COM port that is a symbolic link to a pseudo-terminal,
// and child processes whose output and exit status the tests read.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace zorvik::wine {

struct RunResult {
  int status = -1;  // exit status; -1 when the program did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  std::string out;
  std::string err;
};

// A program started with its standard input from /dev/null and its output in
// files; killed when it is still running at destruction.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::filesystem::path& outputStem);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int signalNumber) const;
  // Waits at most `limit`; a program still running then is killed.
  RunResult wait(std::chrono::seconds limit);

 private:
  pid_t pid_ = -1;
  std::filesystem::path outPath_;
  std::filesystem::path errPath_;
};

// One test's use of the prefix: a wine server for the test's duration, the
// COM port links it made removed again at the end.
class WineSession {
 public:
  WineSession();
  ~WineSession();
  WineSession(const WineSession&) = delete;
  WineSession& operator=(const WineSession&) = delete;

  // Makes the Windows port `comName` (COM5) open `devicePath`.
  void mapPort(const std::string& comName, const std::string& devicePath);
  void unmapPort(const std::string& comName);

  // Runs a program of the prefix or a Windows executable and waits for it.
  RunResult run(const std::vector<std::string>& arguments, std::chrono::seconds limit = std::chrono::seconds(120));
  // Starts the updater and returns at once.
  Child startUpdater(const std::vector<std::string>& arguments);
  RunResult runUpdater(const std::vector<std::string>& arguments);

 private:
  std::filesystem::path portLink(const std::string& comName) const;
  std::filesystem::path nextOutputStem();

  std::vector<std::string> mapped_;
  int outputs_ = 0;
};

// A Unix path as a Windows program of the prefix reaches it (drive Z: is /).
std::string windowsPath(const std::string& unixPath);
// A Windows path of the prefix (a drive letter, backslashes) as the host
// reaches it, through the prefix's drive links.
std::string unixPath(const std::string& windowsPath);

}  // namespace zorvik::wine
