// The station as the command line runs it, in this process: a folder of
// port links (symbolic links to simulated loggers' pseudo-terminals) and the
// operator's Ctrl-C.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "apps/cli/cli.h"
#include "link/cancel_token.h"
#include "link/sleeper.h"
#include "sim/simulated_logger.h"

namespace zorvik::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A stream that other threads may read while the station writes it. The
// lock is recursive: stringbuf's xsputn calls overflow.
class SharedText : public std::stringbuf {
 public:
  std::string text() {
    std::lock_guard lock(mutex_);
    return str();
  }

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::lock_guard lock(mutex_);
    return std::stringbuf::xsputn(s, n);
  }
  int_type overflow(int_type c) override {
    std::lock_guard lock(mutex_);
    return std::stringbuf::overflow(c);
  }

 private:
  std::recursive_mutex mutex_;
};

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zorvik-station-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "watch");
    ASSERT_EQ(::pipe(interruptPipe_), 0);
  }
  void TearDown() override {
    stop();
    ::close(interruptPipe_[0]);
    ::close(interruptPipe_[1]);
    fs::remove_all(dir_);
  }

  sim::SimulatedLogger& logger(const sim::LoggerConfig& config) {
    loggers_.push_back(std::make_unique<sim::SimulatedLogger>(config));
    if (!loggers_.back()->start()) ADD_FAILURE() << "no pseudo-terminal";
    return *loggers_.back();
  }

  void plug(const sim::SimulatedLogger& l, const std::string& name) {
    fs::create_symlink(l.devicePath(), dir_ / "watch" / name);
  }
  void unplug(const std::string& name) { fs::remove(dir_ / "watch" / name); }
  fs::path historyFile() const { return dir_ / "history.sqlite"; }

  // With --yes unless `extra` says otherwise: `answer` is what the
  // operator types on a terminal, none: standard input is no terminal.
  // `errTerminal`: standard error is a terminal (progress lines).
  void startStation(std::vector<std::string> extra = {"--yes", "--json"}, std::optional<std::string> answer = {},
                    bool errTerminal = false) {
    std::vector<std::string> arguments = {"--station", "--watch-dir", (dir_ / "watch").string(), "--history-db",
                                          historyFile().string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    station_ = std::jthread([this, arguments, answer, errTerminal] {
      std::ostream out(&out_);
      std::ostream err(&err_);
      std::istringstream in(answer.value_or("") + "\n");
      cli::CliIo io(out, err, in, answer.has_value(), errTerminal);
      io.sleeper = std::make_shared<link::NoPauses>();
      io.repeatPause = 0ms;
      io.interrupt = interrupt_;
      io.interruptFd = interruptPipe_[0];
      status_ = cli::runCli(arguments, io);
    });
  }

  // Ctrl-C, as the interrupt handler gives it, and the station's end.
  void stop() {
    if (!station_.joinable()) return;
    interrupt_.cancel();
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe_[1], &byte, 1);
    station_.join();
  }

  std::vector<std::string> lines(const std::string& type) {
    std::vector<std::string> found;
    std::istringstream stream(out_.text());
    for (std::string line; std::getline(stream, line);) {
      if (line.find("\"type\":\"" + type + "\"") != std::string::npos) found.push_back(line);
    }
    return found;
  }

  bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  std::size_t results() { return lines("result").size(); }

  // A new Ctrl-C for the next station of one test: the last one's is spent.
  void freshInterrupt() {
    ::close(interruptPipe_[0]);
    ::close(interruptPipe_[1]);
    ASSERT_EQ(::pipe(interruptPipe_), 0);
    interrupt_ = link::CancelToken();
  }

  static std::size_t count(const sim::SimulatedLogger& l, sim::Request kind) {
    const auto r = l.requests();
    return static_cast<std::size_t>(std::count(r.begin(), r.end(), kind));
  }

  fs::path dir_;
  int interruptPipe_[2] = {-1, -1};
  link::CancelToken interrupt_;
  SharedText out_;
  SharedText err_;
  int status_ = -1;
  std::vector<std::unique_ptr<sim::SimulatedLogger>> loggers_;
  std::jthread station_;
};

inline std::string field(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return {};
  std::size_t start = at + key.size();
  if (line[start] == '"') return line.substr(start + 1, line.find('"', start + 1) - start - 1);
  return line.substr(start, line.find_first_of(",}", start) - start);
}

}  // namespace zorvik::testing
