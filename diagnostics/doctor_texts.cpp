#include "diagnostics/doctor_texts.h"

#include <algorithm>
#include <cstdio>

#include "engine/logger_protocol.h"
#include "images/catalogue.h"
#include "images/identity_tables.h"

namespace zorvik::diagnostics {
namespace {

constexpr std::string_view kListPorts = "see zorvik-updater-cli --list-ports";

std::string withSystemText(std::string reason, const Failure& failure) {
  if (!failure.osText.empty()) reason += " (" + failure.osText + ")";
  return reason;
}

std::string versionText(std::uint16_t version) {
  return std::to_string(version >> 8) + "." + std::to_string(version & 0xFF);
}

std::string classText(std::uint16_t deviceClass) {
  return "class " + std::to_string(deviceClass) + " [" + className(deviceClass, kNoCode) + "]";
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

Explanation failureWords(const Failure& failure) {
  switch (failure.kind) {
    case FailureKind::None: return {};
    case FailureKind::NotFound:
      return {withSystemText("no such port", failure), "is the adapter plugged in? " + std::string(kListPorts)};
    case FailureKind::Busy:
      return {withSystemText("another program holds the port", failure),
              "close the program that uses it (a terminal program, another updater) and try again"};
    case FailureKind::NoPermission:
      return {withSystemText("no permission to open the port", failure),
              "install the package's rule (sudo apt install ./zorvik-updater_*.deb) or add yourself to the "
              "group that owns the port and log in again"};
    case FailureKind::NotATerminal:
      return {withSystemText("this is no serial port", failure), "name the logger's port: " + std::string(kListPorts)};
    case FailureKind::SettingsRefused:
      return {withSystemText("the port refused 9600 baud, 8 data bits, no parity", failure),
              "plug the adapter in again; if that does not help, its driver cannot do these settings: use the "
              "logger's own USB cable"};
    case FailureKind::PortIo:
      return {withSystemText("the port stopped working (a hang-up, or the adapter was pulled out)", failure),
              "check that the adapter is plugged in firmly, plug it in again and start once more"};
    case FailureKind::Silent:
      return {withSystemText("no answer at all", failure), "is the logger switched on and the cable in?"};
    case FailureKind::ShortAnswer:
      return {withSystemText("the logger's answer broke off", failure),
              "check the cable and its plugs, then start once more"};
    case FailureKind::DamagedAnswer:
      return {withSystemText("the logger's answer arrived damaged", failure),
              "a noisy or long cable, a wrong baud rate or another program on the port: use the logger's own "
              "cable and close other programs that use the port"};
    case FailureKind::Refused:
      return {withSystemText("the logger refused the command", failure),
              "switch the logger off and on again, then start once more"};
    case FailureKind::EchoDiffers:
      return {withSystemText("a line came back changed from the logger", failure),
              "the cable disturbs the data: use the logger's own cable, keep it away from motors and power "
              "lines, then start once more"};
  }
  return {};
}

int largestUpdateExchanges() {
  const ImageSource images;
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
  if (answer.failure.kind != FailureKind::None) {
    const Explanation words = failureWords(answer.failure);
    return {check, Level::Fail, words.reason, words.fix};
  }
  if (answer.deviceClass == kClassZorvik) {
    std::string found = "a logger answers in its application: " + classText(answer.deviceClass) + ", version " +
                        versionText(answer.version);
    if (answer.serialNumber) found += ", serial number " + std::to_string(*answer.serialNumber);
    return {check, Level::Ok, found, {}};
  }
  if (isBootloaderClass(answer.deviceClass)) {
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
