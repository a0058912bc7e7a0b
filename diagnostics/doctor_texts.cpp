#include "diagnostics/doctor_texts.h"

#include <algorithm>
#include <cstdio>

#include "engine/failure_explanation.h"
#include "engine/logger_protocol.h"
#include "images/catalogue.h"
#include "images/identity_tables.h"
#include "images/version_text.h"

namespace zorvik::diagnostics {
namespace {

constexpr std::string_view kListPorts = "see zorvik-updater-cli --list-ports";

std::string classText(std::uint16_t deviceClass) {
  return "class " + std::to_string(deviceClass) + " [" + images::className(deviceClass, images::kNoCode) + "]";
}

// "0.8 s" below ten seconds, whole seconds above.
std::string secondsText(long long milliseconds) {
  char text[32];
  if (milliseconds < 10'000) {
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "%lld s", (milliseconds + 500) / 1000);
  }
  return text;
}

}  // namespace

int largestUpdateExchanges() {
  const images::ImageSource images;
  int largest = 0;
  for (int image = images.firstIndex(); image <= images.lastIndex(); ++image) {
    largest = std::max(largest, images.lastLine(image) + 1);
  }
  return largest;
}

Finding latencyFinding(std::optional<int> latencyMs, const std::string& fix) {
  const std::string check = "latency";
  if (!latencyMs) return {check, Level::Warning, "the FTDI latency timer could not be read", fix};
  const int ms = *latencyMs;
  if (ms <= 1) return {check, Level::Ok, "the FTDI latency timer is " + std::to_string(ms) + " ms", {}};
  const int exchanges = largestUpdateExchanges();
  const long long cost = static_cast<long long>(exchanges) * ms;
  return {check, Level::Warning,
          "the FTDI latency timer is " + std::to_string(ms) + " ms (1 ms is best): each answer can wait up to " +
              std::to_string(ms) + " ms longer, so an update of the largest built-in image (" +
              std::to_string(exchanges) + " line exchanges) can take up to about " + secondsText(cost) + " longer",
          fix};
}

Finding loggerFinding(const std::string& port, const LoggerAnswer& answer) {
  const std::string check = "logger";
  if (answer.failure.kind != link::FailureKind::None) {
    const engine::Explanation words = engine::failureExplanation(answer.failure);
    return {check, Level::Fail, words.reason, words.fix};
  }
  if (answer.deviceClass == images::kClassZorvik) {
    std::string found = "a logger answers in its application: " + classText(answer.deviceClass) + ", version " +
                        images::versionWordText(answer.version);
    if (answer.serialNumber) found += ", serial number " + std::to_string(*answer.serialNumber);
    return {check, Level::Ok, found, {}};
  }
  if (engine::isBootloaderClass(answer.deviceClass)) {
    return {check, Level::Warning,
            "a logger answers in its bootloader (" + classText(answer.deviceClass) +
                "): an earlier update stopped half-way, and the logger has no working firmware until an update "
                "finishes",
            "run an update to finish it: zorvik-updater-cli --port " + port};
  }
  return {check, Level::Warning,
          "something answers, but with " + classText(answer.deviceClass) + ", which is no logger this updater knows",
          "check that this is the logger's port: " + std::string(kListPorts)};
}

}  // namespace zorvik::diagnostics
