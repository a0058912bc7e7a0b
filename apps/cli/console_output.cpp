#include "apps/cli/console_output.h"

#include <ostream>

#include "engine/events.h"
#include "text/json_text.h"
#include "text/utc_time.h"

namespace zorvik::cli {
namespace {

constexpr int kBarWidth = 30;

std::string timeStamp() {
  // reportLineNow gives "hh-nn-ss -> text"; the stamp is its first 8 characters.
  return engine::reportLineNow("").substr(0, 8);
}

const char* boolText(bool b) { return b ? "true" : "false"; }

}  // namespace

// ---- Console ----------------------------------------------------------------

void Console::line(const std::string& text) {
  eraseBars();
  out_ << text << std::endl;
  drawBars();
}

void Console::record(const std::string& fields) {
  line("{" + fields + ",\"schema\":" + std::to_string(text::kJsonSchema) + ",\"utc\":\"" + text::utcNow() + "\"}");
}

void Console::finalLine(const std::string& text, bool success) {
  if (!colour_) {
    line(text);
    return;
  }
  line((success ? "\033[32m" : "\033[31m") + text + "\033[0m");
}

void Console::setBar(std::size_t port, std::string text) {
  bars_[port] = std::move(text);
  eraseBars();
  drawBars();
}

void Console::clearBars() {
  eraseBars();
  for (auto& bar : bars_) bar.clear();
}

void Console::eraseBars() {
  if (linesShown_ == 0) return;
  // Back to the first bar line, then erase everything below it.
  err_ << "\r";
  if (linesShown_ > 1) err_ << "\033[" << linesShown_ - 1 << "A";
  err_ << "\033[J" << std::flush;
  linesShown_ = 0;
}

void Console::drawBars() {
  bool first = true;
  for (const auto& bar : bars_) {
    if (bar.empty()) continue;
    if (!first) err_ << "\n";
    err_ << bar << "\033[K";
    first = false;
    ++linesShown_;
  }
  if (linesShown_ > 0) err_ << std::flush;
}

// ---- PortOutput -------------------------------------------------------------

PortOutput::PortOutput(Console& console, std::size_t index, std::string port, bool severalPorts,
                       std::function<void(std::chrono::milliseconds)> schedulePause)
    : console_(console),
      index_(index),
      port_(std::move(port)),
      severalPorts_(severalPorts),
      schedulePause_(std::move(schedulePause)) {}

std::string PortOutput::portField() const {
  return severalPorts_ ? ",\"port\":\"" + text::jsonEscape(port_) + "\"" : std::string();
}

void PortOutput::attemptStarted(int attempt) {
  lastEvent_ = 0xFFFFFFFF;
  if (!console_.json()) return;  // the start line comes as a report line
  console_.record("\"type\":\"start\",\"time\":\"" + timeStamp() + "\",\"attempt\":" + std::to_string(attempt) +
                ",\"port\":\"" + text::jsonEscape(port_) + "\",\"text\":\"" + text::jsonEscape(engine::startText(port_)) + "\"");
}

void PortOutput::report(const std::string& text) {
  if (console_.json()) return;  // every event has its own JSON line
  // On a terminal the bar shows the progress; a line per percent would bury
  // everything else.
  if (lastEvent_ == engine::kEvProgress && console_.progressBars()) return;
  console_.line((severalPorts_ ? "[" + port_ + "] " : std::string()) + engine::reportLineNow(text));
}

void PortOutput::note(const std::string& text) {
  if (!console_.json()) {
    report(text);
    return;
  }
  console_.record("\"type\":\"note\",\"time\":\"" + timeStamp() + "\"" + portField() + ",\"text\":\"" +
                text::jsonEscape(text) + "\"");
}

void PortOutput::eventArrived(const engine::RunEvent& event, const engine::EventPresentation& p) {
  lastEvent_ = event.code;
  if (console_.json()) {
    console_.record("\"type\":\"event\",\"time\":\"" + timeStamp() + "\"" + portField() +
                  ",\"code\":" + std::to_string(event.code) + ",\"value\":" + std::to_string(event.value) +
                  ",\"text\":\"" + text::jsonEscape(p.text) + "\",\"report\":" + boolText(p.report) +
                  ",\"status\":" + boolText(p.status) + ",\"message\":" + boolText(p.message) +
                  ",\"final\":" + boolText(engine::isFinalEvent(event.code)) + lineFields() +
                  (p.reason.empty() ? std::string()
                                    : ",\"reason\":\"" + text::jsonEscape(p.reason) + "\",\"fix\":\"" + text::jsonEscape(p.fix) + "\""));
    return;
  }
  if (event.code == engine::kEvProgress && console_.progressBars()) console_.setBar(index_, barText(event.value));
}

std::string PortOutput::barText(int percent) const {
  const int filled = percent * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  std::string text = (severalPorts_ ? "[" + port_ + "] " : std::string()) + "[" + bar + "] " +
                     std::to_string(percent) + "%";
  if (lines_.total > 0) text += "  lines " + std::to_string(lines_.done) + "/" + std::to_string(lines_.total);
  if (lines_.timeLeft) text += "  " + session::timeLeftText(*lines_.timeLeft);
  return text;
}

std::string PortOutput::lineFields() const {
  if (lastEvent_ != engine::kEvProgress || lines_.total == 0) return {};
  std::string fields = ",\"lines_done\":" + std::to_string(lines_.done) + ",\"lines_total\":" + std::to_string(lines_.total);
  if (lines_.timeLeft) fields += ",\"seconds_left\":" + std::to_string(lines_.timeLeft->count());
  return fields;
}

void PortOutput::answer(const std::string& text) {
  if (console_.json()) {
    console_.record("\"type\":\"answer\"" + portField() + ",\"text\":\"" + text::jsonEscape(text) + "\"");
    return;
  }
  console_.clearBars();
  console_.line((severalPorts_ ? "[" + port_ + "] " : std::string()) + text);
}

void PortOutput::finished(int exitStatus) {
  if (console_.json()) {
    console_.record("\"type\":\"exit\"" + portField() + ",\"status\":" + std::to_string(exitStatus) +
                  ",\"message\":\"" + text::jsonEscape(finalMessage_) + "\"");
    return;
  }
  console_.clearBars();
  if (!finalMessage_.empty()) {
    console_.finalLine((severalPorts_ ? "[" + port_ + "] " : std::string()) + finalMessage_, exitStatus == 0);
  }
}

}  // namespace zorvik::cli
