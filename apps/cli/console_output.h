// Everything the command-line updater shows: report lines on standard output,
// a progress bar on standard error (terminals only), the final message last;
// or one JSON object per line for scripts.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "event_texts.h"

namespace zorvik::cli {

class ConsoleOutput {
 public:
  ConsoleOutput(std::ostream& out, std::ostream& err, bool json, bool progressBar)
      : out_(out), err_(err), json_(json), progressBar_(progressBar) {}

  void runStarted(const std::string& port, int attempt);
  void event(std::uint32_t code, std::int32_t value, const EventPresentation& p);
  void finished(int exitStatus);
  // A report line of our own after an event, such as how to fix a port.
  void note(const std::string& text);

 private:
  void reportLine(const std::string& text);
  void drawProgress(int percent);
  void clearProgress();

  std::ostream& out_;
  std::ostream& err_;
  bool json_;
  bool progressBar_;
  bool progressShown_ = false;
  std::string finalMessage_;
  std::chrono::steady_clock::time_point programmingStart_{};
};

std::string jsonEscape(const std::string& text);

}  // namespace zorvik::cli
