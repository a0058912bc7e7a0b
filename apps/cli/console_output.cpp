#include "console_output.h"

#include <cstdio>
#include <ostream>

#include "events.h"

namespace zorvik::cli {
namespace {

constexpr int kBarWidth = 30;

std::string timeStamp() {
  // reportLineNow gives "hh-nn-ss -> text"; the stamp is its first 8 characters.
  return reportLineNow("").substr(0, 8);
}

const char* boolText(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string jsonEscape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size() + 2);
  for (const char c : text) {
    switch (c) {
      case '"': escaped += "\\\""; break;
      case '\\': escaped += "\\\\"; break;
      case '\n': escaped += "\\n"; break;
      case '\r': escaped += "\\r"; break;
      case '\t': escaped += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          escaped += buffer;
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

void ConsoleOutput::runStarted(const std::string& port, int attempt) {
  const std::string text = startText(port);
  if (json_) {
    out_ << "{\"type\":\"start\",\"time\":\"" << timeStamp() << "\",\"attempt\":" << attempt << ",\"port\":\""
         << jsonEscape(port) << "\",\"text\":\"" << jsonEscape(text) << "\"}" << std::endl;
    return;
  }
  reportLine(text);
}

void ConsoleOutput::event(std::uint32_t code, std::int32_t value, const EventPresentation& p) {
  if (code == kEvProgramming) programmingStart_ = std::chrono::steady_clock::now();
  if (p.message) finalMessage_ = p.text;
  if (json_) {
    out_ << "{\"type\":\"event\",\"time\":\"" << timeStamp() << "\",\"code\":" << code << ",\"value\":" << value
         << ",\"text\":\"" << jsonEscape(p.text) << "\",\"report\":" << boolText(p.report)
         << ",\"status\":" << boolText(p.status) << ",\"message\":" << boolText(p.message)
         << ",\"final\":" << boolText(isFinalEvent(code)) << "}" << std::endl;
    return;
  }
  if (p.report) reportLine(p.text);
  if (code == kEvProgress && progressBar_) drawProgress(value);
}

void ConsoleOutput::finished(int exitStatus) {
  if (json_) {
    out_ << "{\"type\":\"exit\",\"status\":" << exitStatus << ",\"message\":\"" << jsonEscape(finalMessage_)
         << "\"}" << std::endl;
    return;
  }
  clearProgress();
  if (!finalMessage_.empty()) out_ << finalMessage_ << std::endl;
}

void ConsoleOutput::note(const std::string& text) {
  if (json_) {
    out_ << "{\"type\":\"note\",\"time\":\"" << timeStamp() << "\",\"text\":\"" << jsonEscape(text) << "\"}"
         << std::endl;
    return;
  }
  reportLine(text);
}

void ConsoleOutput::reportLine(const std::string& text) {
  clearProgress();
  out_ << reportLineNow(text) << std::endl;
}

void ConsoleOutput::drawProgress(int percent) {
  const int filled = percent * kBarWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  std::string left;
  if (percent > 0 && programmingStart_ != std::chrono::steady_clock::time_point{}) {
    const auto elapsed = std::chrono::steady_clock::now() - programmingStart_;
    const auto remaining = std::chrono::duration_cast<std::chrono::seconds>(elapsed * (100 - percent) / percent);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "  %lld:%02lld left", static_cast<long long>(remaining.count() / 60),
                  static_cast<long long>(remaining.count() % 60));
    left = buffer;
  }
  err_ << "\r[" << bar << "] " << percent << "%" << left << "\033[K" << std::flush;
  progressShown_ = true;
}

void ConsoleOutput::clearProgress() {
  if (!progressShown_) return;
  err_ << "\r\033[K" << std::flush;
  progressShown_ = false;
}

}  // namespace zorvik::cli
