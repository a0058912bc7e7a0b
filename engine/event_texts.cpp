#include "engine/event_texts.h"

#include <cstdio>

#include "engine/events.h"
#include "images/identity_tables.h"
#include "images/version_text.h"

namespace zorvik::engine {
namespace {

template <class... Args>
std::string format(const char* pattern, Args... args) {
  char buffer[512];
  const int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(n));
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, args...);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

std::uint16_t low16(std::int32_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }

// "<verb> <class name> V<version>, <print>, BL<bootloader>": events 26 and 27.
// An event that lacks its image (a fuzzer's, say) is worded from an empty header.
std::string imageText(const char* verb, const std::optional<images::ImageHeader>& image) {
  const images::ImageHeader h = image.value_or(images::ImageHeader{});
  return std::string(verb) + " " + classAndVersion(h) + ", " + images::printName(h.print) + ", " +
         format("BL%d.%d", int{h.bootloader}, int{h.bootloaderVersion});
}

EventPresentation reportOnly(std::string text) {
  EventPresentation p;
  p.text = std::move(text);
  p.report = true;
  return p;
}

EventPresentation errorPresentation(std::int32_t code, const std::string& port) {
  EventPresentation p;
  p.text = errorText(code, port);
  p.endRun = true;
  p.beep = true;
  if (code == errorValue(ErrorCode::Conversion)) {
    p.message = true;  // event 12 already wrote the line
  } else if (code == errorValue(ErrorCode::Programming)) {
    p.report = p.status = true;
    p.repeat = RepeatKind::AtOnce;
  } else {
    p.report = p.status = p.message = true;
  }
  return p;
}

EventPresentation successPresentation(const std::optional<images::ImageHeader>& image) {
  EventPresentation p;
  const images::ImageHeader h = image.value_or(images::ImageHeader{});
  p.text = "Update " + classAndVersion(h) + " succesfully completed.";
  p.report = p.status = p.message = true;
  p.endRun = true;
  p.progress = 100;
  return p;
}

}  // namespace

std::string classAndVersion(const images::ImageHeader& h) {
  return images::className(h.deviceClass, h.print) + " V" + images::versionText(h.versionHigh, h.versionLow);
}

std::string errorText(std::int32_t code, const std::string& port) {
  switch (static_cast<ErrorCode>(code)) {
    case ErrorCode::PortNotReady: return format("Aborted because serial port \"%s\" is not ready!", port.c_str());
    case ErrorCode::PortIo: return "Aborted because error when reading/writing to serial port!";
    case ErrorCode::Cancelled: return "Process cancelled!";
    case ErrorCode::NoUpdate: return "Aborted because no update is available for this logger!";
    case ErrorCode::LoggerException: return "Aborted because the logger is not ready!";
    case ErrorCode::LastLine: return "Aborted because last line is wrong !";
    case ErrorCode::Conversion: return "Aborted because conversion error!";
    case ErrorCode::Programming: return "Repeat because programming error!";
    case ErrorCode::NotSuccessful: return "Update was not successfull!";
    case ErrorCode::InvalidAnswer: return "Aborted because the logger transmitted an invalid answer!";
    case ErrorCode::NoImage: return "There is no update available or the logger has another update ID!";
    case ErrorCode::InfoOnly: return "Only read update info!";
    case ErrorCode::AlreadyCurrent: return "Not updated because the logger already runs the newest firmware!";
    default: return "Fatal Exception has occurred!";
  }
}

EventPresentation presentEvent(const RunEvent& event, const std::string& port) {
  const std::int32_t value = event.value;
  switch (event.code) {
    case kEvSuccess: return successPresentation(event.image);
    case kEvProgress: {
      EventPresentation p = reportOnly(format("Progress %d%%", value));
      p.progress = value;
      p.progressTitle = true;
      return p;
    }
    case kEvError: return errorPresentation(value, port);
    case kEvEchoMismatch: {
      EventPresentation p = reportOnly(format("Aborted because programming error at line %d !", value));
      p.status = true;
      return p;
    }
    case kEvBadLine: return reportOnly(format("Aborted because conversion error at line  %d !", value));
    case kEvNoAnswer: {
      EventPresentation p;
      p.text = "Repeat update because communication error!";
      p.report = p.status = p.statusFirst = true;
      p.repeat = RepeatKind::AfterPause;
      return p;
    }
    case kEvClass: return reportOnly(format("Class %d [%s]", value, images::className(low16(value), 0xFFFF).c_str()));
    case kEvVersion: return reportOnly(format("Version %d.%d", (value >> 8) & 0xFF, value & 0xFF));
    case kEvPlatform: return reportOnly(format("Platform %d [%s]", value, images::platformName(low16(value)).c_str()));
    case kEvPrint: return reportOnly(format("Print %d [%s]", value, images::printName(low16(value)).c_str()));
    case kEvInfo: return reportOnly(format("Info %d", value));
    case kEvUpdateClass:
      return reportOnly(format("Update class %d [%s]", value, images::className(low16(value), 0xFFFF).c_str()));
    case kEvProgramming: {
      EventPresentation p = reportOnly(imageText("Update", event.image));
      p.status = true;
      return p;
    }
    case kEvCandidate: return reportOnly(imageText("Check", event.image));
    case kEvUpdateInfo: return reportOnly(format("Update Info %.4X", static_cast<unsigned>(value)));
    case kEvVectorTable:
      if (value == 0) return reportOnly("Vector table is saved.");
      if (value == 1) return reportOnly("Vector table is programmed.");
      return {};
    default: return {};
  }
}

ImageRow imageRow(const images::ImageHeader& h) {
  return {images::className(h.deviceClass, h.print), images::versionText(h.versionHigh, h.versionLow),
          images::platformName(h.platform), images::printName(h.print), h.date,
          format("%d.%d", int{h.bootloader}, int{h.bootloaderVersion})};
}

std::string startText(const std::string& port) { return format("Start at serial port \"%s\"", port.c_str()); }

std::string reportLine(const std::tm& t, const std::string& text) {
  return format("%.2d-%.2d-%.2d -> %s", t.tm_hour, t.tm_min, t.tm_sec, text.c_str());
}

std::string reportLineNow(const std::string& text) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return reportLine(local, text);
}

}  // namespace zorvik::engine
