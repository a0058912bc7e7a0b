// The command-line updater on a pseudo-terminal, as on a person's terminal,
// against the same update through a pipe: the terminal gets the same report
// lines less the progress lines (the bar shows those), and the update's last
// line is its final message.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <regex>
#include <string>
#include <vector>

#include "sim/simulated_logger.h"

namespace zorvik::testing {
namespace {

#ifdef ZORVIK_CLI_PATH

struct Output {
  int status = -1;
  std::string text;
};

// stdout and stderr on one pseudo-terminal, as a terminal window shows them.
Output runOnTerminal(const std::vector<std::string>& arguments) {
  int master = -1;
  const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (child < 0) return {};
  if (child == 0) {
    ::setenv("TERM", "xterm", 1);
    ::unsetenv("NO_COLOR");
    std::vector<char*> argv{const_cast<char*>(ZORVIK_CLI_PATH)};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(ZORVIK_CLI_PATH, argv.data());
    ::_exit(127);
  }
  Output output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0) output.text.append(buffer, static_cast<std::size_t>(n));
    else if (n < 0 && errno == EINTR) continue;
    else break;  // EIO once the child has gone
  }
  ::close(master);
  int status = 0;
  ::waitpid(child, &status, 0);
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

Output runThroughPipe(const std::vector<std::string>& arguments) {
  std::string command = ZORVIK_CLI_PATH;
  for (const auto& a : arguments) command += " '" + a + "'";
  Output output;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.text.append(buffer, n);
  const int status = ::pclose(pipe);
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

// A line as the terminal shows it: what the bar's erasing ("\r\033[J")
// left of it.
std::string shownLine(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::size_t erased = line.rfind("\033[J");
  return erased == std::string::npos ? line : line.substr(erased + 3);
}

// Report lines ("hh-nn-ss -> text") without their time stamps.
std::vector<std::string> reportTexts(const std::string& text) {
  std::vector<std::string> texts;
  std::istringstream stream(text);
  for (std::string raw; std::getline(stream, raw);) {
    const std::string line = shownLine(raw);
    const std::size_t arrow = line.find(" -> ");
    if (arrow == 8) texts.push_back(line.substr(arrow + 4));
  }
  return texts;
}

std::string lastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.pop_back();
  return shownLine(trimmed.substr(trimmed.find_last_of('\n') + 1));
}

TEST(Terminal, ReportLinesAreThePipesLessProgressAndTheFinalMessageIsLast) {
  sim::SimulatedLogger onTerminal;
  sim::SimulatedLogger onPipe;
  if (!onTerminal.start() || !onPipe.start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  const Output terminal = runOnTerminal({"--port", onTerminal.devicePath(), "--yes"});
  const Output pipe = runThroughPipe({"--port", onPipe.devicePath(), "--yes"});
  ASSERT_EQ(terminal.status, 0) << terminal.text;
  ASSERT_EQ(pipe.status, 0) << pipe.text;

  std::vector<std::string> expected = reportTexts(pipe.text);
  const auto progressLines = std::count_if(expected.begin(), expected.end(), [](const std::string& t) {
    return t.rfind("Progress ", 0) == 0;
  });
  EXPECT_GT(progressLines, 50) << "a pipe keeps a line per percent";
  std::erase_if(expected, [](const std::string& t) { return t.rfind("Progress ", 0) == 0; });
  std::vector<std::string> shown = reportTexts(terminal.text);
  // The start line carries the port, which differs between the two loggers.
  ASSERT_FALSE(shown.empty());
  ASSERT_FALSE(expected.empty());
  shown.erase(shown.begin());
  expected.erase(expected.begin());
  EXPECT_EQ(shown, expected);

  // The bar says how far the image has gone and, once measured, what is left.
  EXPECT_TRUE(std::regex_search(terminal.text, std::regex(R"(\] \d+%  lines \d+/\d+\x1b)")));
  EXPECT_TRUE(std::regex_search(terminal.text, std::regex(R"(\] \d+%  lines \d+/\d+  \d+:\d\d left\x1b)")));
  EXPECT_EQ(pipe.text.find(" left"), std::string::npos) << "a pipe has no bar";

  const std::string success = "Update ZorvikB V6.26 succesfully completed.";
  EXPECT_EQ(lastLine(terminal.text), "\033[32m" + success + "\033[0m") << "green, and nothing after it";
  EXPECT_EQ(lastLine(pipe.text), success);
}

#endif

}  // namespace
}  // namespace zorvik::testing
