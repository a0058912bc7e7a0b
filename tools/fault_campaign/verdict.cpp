#include "tools/fault_campaign/verdict.h"

#include <algorithm>

#include "engine/events.h"
#include "images/catalogue.h"
#include "images/record_codec.h"

namespace zorvik::campaign {
namespace {

struct ImageData {
  std::map<std::uint16_t, std::string> byAddress;
  std::vector<std::string> sendOrder;  // the data lines, vector-table line last
};

ImageData imageData(int image) {
  ImageData data;
  std::vector<std::string> vectorTable;
  const images::ImageSource builtIn;
  const int last = builtIn.lastLine(image);
  for (int i = 0; i < last; ++i) {
    const std::string text(builtIn.line(image, i));
    images::RecordBytes r{};
    if (!images::decodeRecord(text, r) || r[images::kRecCount] != images::kMaxRecordData || r[images::kRecType] != 0) continue;
    data.byAddress[static_cast<std::uint16_t>(r[images::kRecAddrHigh] << 8 | r[images::kRecAddrLow])] = text;
    const bool isVectorTable = r[images::kRecAddrHigh] == 0x03 && r[images::kRecAddrLow] == 0xDF;
    (isVectorTable ? vectorTable : data.sendOrder).push_back(text);
  }
  data.sendOrder.insert(data.sendOrder.end(), vectorTable.begin(), vectorTable.end());
  return data;
}

// A line repeated at once is a retry of the same exchange, not a second copy.
std::vector<std::string> withoutRetries(const std::vector<sim::FlashWrite>& writes) {
  std::vector<std::string> lines;
  for (const auto& w : writes) {
    if (lines.empty() || lines.back() != w.line) lines.push_back(w.line);
  }
  return lines;
}

void checkAttempts(const RunRecord& run, std::vector<std::string>& out) {
  if (run.attempts.empty()) {
    out.push_back("no attempt was started");
    return;
  }
  if (static_cast<int>(run.attempts.size()) > run.maxRepeats + 1) {
    out.push_back(std::to_string(run.attempts.size()) + " attempts, more than --max-repeats allows");
  }
  for (std::size_t i = 0; i < run.attempts.size(); ++i) {
    const auto& events = run.attempts[i];
    const auto finals = std::count_if(events.begin(), events.end(), [](const Event& e) { return engine::isFinalEvent(e.first); });
    if (finals != 1) {
      out.push_back("attempt " + std::to_string(i + 1) + " posted " + std::to_string(finals) + " final events");
    } else if (!engine::isFinalEvent(events.back().first)) {
      out.push_back("attempt " + std::to_string(i + 1) + " posted events after its final event");
    }
  }
}

void checkSuccess(const Scenario& s, const RunRecord& run, std::vector<std::string>& out) {
  const ImageData expected = imageData(s.image);
  if (run.flash != expected.byAddress) {
    out.push_back("success reported, but the flash does not hold image " + std::to_string(s.image));
  }
  if (withoutRetries(run.flashWrites) != expected.sendOrder) {
    out.push_back("success reported, but the data lines were not written once each, vector table last");
  }
  const std::uint16_t imageClass = images::builtInHeader(s.image).deviceClass;
  if (run.mode != sim::Mode::Application || run.applicationClass != imageClass) {
    out.push_back("success reported, but the logger does not run the image's class");
  }
}

// Whatever went wrong, a logger that left its bootloader runs a whole image.
void checkNotBricked(const Scenario& s, const RunRecord& run, std::vector<std::string>& out) {
  if (run.restarts == 0 || run.programmingOpen || run.mode == sim::Mode::Dead) return;
  if (run.flash != imageData(s.image).byAddress) {
    out.push_back("the logger was restarted with an incomplete image");
  }
}

}  // namespace

std::vector<int> allowedErrors(const sim::LineFaultCounts& faults) {
  if (faults[sim::LineFault::HangUp] > 0) return {engine::errorValue(engine::ErrorCode::PortIo)};
  if (faults.total() == 0) return {};
  // Lost or damaged answers: retries run out (30, 46) or an echo differs (44).
  std::vector<int> allowed{engine::errorValue(engine::ErrorCode::NoAnswer), errorValue(engine::ErrorCode::Programming),
                           errorValue(engine::ErrorCode::InvalidAnswer)};
  if (faults.hostSideDamage()) {
    // The host cannot tell that a request without answer was lost: a missed
    // entry frame looks like a logger that stays in its application (40), a
    // missed end record like one that did not take the image (45). A damaged
    // frame the logger takes for an unknown command gets its error bit (41).
    allowed.insert(allowed.end(), {errorValue(engine::ErrorCode::NoUpdate), errorValue(engine::ErrorCode::LoggerException),
                                   errorValue(engine::ErrorCode::NotSuccessful)});
  }
  return allowed;
}

std::vector<std::string> judge(const Scenario& scenario, const RunRecord& run) {
  std::vector<std::string> out;
  checkAttempts(run, out);
  checkNotBricked(scenario, run, out);
  if (run.status == 0) {
    if (run.faults[sim::LineFault::HangUp] > 0) out.push_back("success reported after the line hung up");
    checkSuccess(scenario, run, out);
    return out;
  }
  const auto allowed = allowedErrors(run.faults);
  if (std::find(allowed.begin(), allowed.end(), run.status) == allowed.end()) {
    out.push_back("ended with " + std::to_string(run.status) + ", which its faults do not explain");
  }
  return out;
}

}  // namespace zorvik::campaign
