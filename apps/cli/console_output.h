// Everything the command-line updater shows: report lines on standard output,
// progress bars on standard error (terminals only, one line per port), the
// final messages last; or one JSON object per line for scripts. One
// PortOutput per port draws what that port's update session says; they share
// one Console, all on the main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine/event_texts.h"
#include "session/session_view.h"

namespace zorvik::cli {

// The streams and the progress lines at the bottom of standard error.
class Console {
 public:
  // progressBars: standard error is a terminal (and no JSON): progress moves
  // the bars only. colour: the final line may be green or red.
  Console(std::ostream& out, std::ostream& err, bool json, bool progressBars, std::size_t ports, bool colour = false)
      : out_(out), err_(err), json_(json), progressBars_(progressBars), colour_(colour), bars_(ports) {}

  bool json() const { return json_; }
  bool progressBars() const { return progressBars_; }
  // A line on standard output; the bars are taken away and drawn again under it.
  void line(const std::string& text);
  // One JSON object of machine output: `fields` (`"type":"exit",...`) plus the
  // version of this format and the time in UTC, on every line.
  void record(const std::string& fields);
  // The last line of an update: green when it succeeded, red when not, where
  // colour is wanted.
  void finalLine(const std::string& text, bool success);
  void setBar(std::size_t port, std::string text);
  void clearBars();

 private:
  void drawBars();
  void eraseBars();

  std::ostream& out_;
  std::ostream& err_;
  bool json_;
  bool progressBars_;
  bool colour_;
  std::vector<std::string> bars_;  // one per port; empty: not shown yet
  std::size_t linesShown_ = 0;
};

class PortOutput final : public session::SessionView {
 public:
  // `prefix`: "[PORT] " in front of every line when several ports run;
  // `tagPort`: every JSON line names its port.
  PortOutput(Console& console, std::size_t index, std::string port, bool severalPorts,
             std::function<void(std::chrono::milliseconds)> schedulePause);

  void report(const std::string& text) override;
  void note(const std::string& text) override;
  // JSON carries it on the final event's line.
  void explain(const std::string& reason, const std::string& fix) override {
    if (!console_.json()) report(reason + ": " + fix);
  }
  void setStatus(const std::string&) override {}
  void setProgress(int) override {}
  void setLineProgress(const session::LineProgress& lines) override { lines_ = lines; }
  void setTaskbarTitle(const std::string&) override {}
  void showMessage(const std::string& text) override { finalMessage_ = text; }
  void beep() override {}
  void showControls(const session::Controls&) override {}
  void startPause(std::chrono::milliseconds pause) override { schedulePause_(pause); }
  void attemptStarted(int attempt) override;
  void eventArrived(const engine::RunEvent& event, const engine::EventPresentation& p) override;

  // The last words of this port's update.
  // The one-line answer of a command that asks rather than writes (which
  // image --read-info found), just before the final message.
  void answer(const std::string& text);
  void finished(int exitStatus);

 private:
  std::string portField() const;
  std::string barText(int percent) const;
  // The line count and time left of a progress event's JSON line.
  std::string lineFields() const;

  Console& console_;
  std::size_t index_;
  std::string port_;
  bool severalPorts_;
  std::function<void(std::chrono::milliseconds)> schedulePause_;
  std::string finalMessage_;
  std::uint32_t lastEvent_ = 0xFFFFFFFF;
  session::LineProgress lines_;
};

}  // namespace zorvik::cli
