// What the window tests share: a virtual display, the Wine session with the
// simulated logger on COM5 (in the serial port map as a logger port), the
// service-mode setting in the prefix's registry, and the pilot that drives
// zorvik-updater.exe and reports what it saw.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/widget_roles.h"
#include "sim/simulated_logger.h"
#include "tests/wine/virtual_display.h"
#include "tests/wine/wine_session.h"

namespace zorvik::wine {

// The pilot finds the window's controls by their roles.
namespace roles = session::roles;

// A pilot command, or the key of a line the pilot prints, about the widget
// of a role: about("click", roles::kUpdateButton) is "click updateButton";
// the words of `rest` follow the role ("wait-text statusBar 60 Repeat").
inline std::string about(std::string_view verb, std::string_view role, std::string_view rest = {}) {
  std::string words = std::string(verb) + " " + std::string(role);
  if (!rest.empty()) words += " " + std::string(rest);
  return words;
}

// What the tests say most: the texts they read back (each also the key of
// the line that answers it) and the click that starts an update.
inline const std::string kReadCaption = about("text", roles::kMainWindow);
inline const std::string kReadTaskbar = about("text", roles::kTaskbarWindow);
inline const std::string kReadStatus = about("text", roles::kStatusBar);
inline const std::string kReadReport = about("text", roles::kReportView);
inline const std::string kClickUpdate = about("click", roles::kUpdateButton);

// What the pilot printed: one observation per line, "key: value".
struct Transcript {
  int status = -1;
  std::string raw;
  std::vector<std::string> lines;

  // The pilot ran every command (status 0, "done" last).
  bool completed() const;
  // Every value of the lines with this key, in order; the first or the last.
  std::vector<std::string> all(const std::string& key) const;
  std::string first(const std::string& key) const;
  std::string last(const std::string& key) const;
  bool has(const std::string& key) const { return !all(key).empty(); }
};

// The lines of the report window as the pilot read them, each split into
// its time stamp and its text.
struct ReportLine {
  std::string stamp;
  std::string text;
};
std::vector<ReportLine> reportLines(const std::string& reportText);
std::vector<std::string> reportTexts(const std::string& reportText);
// A multi-line text as the pilot prints it (line breaks as "\n"), line by line.
std::vector<std::string> textLines(const std::string& text);

// "left,top,width,height" as the pilot prints rectangles.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
};
Rect rectAt(const std::string& text, const std::string& after);

class WineWindow : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void startLogger(const sim::LoggerConfig& config = {});
  // The service mode, as service staff switch it on: intern = 7406 under
  // HKCU\Software\Harventa\Qorn in the prefix's registry.
  void setServiceMode(bool on);
  Transcript pilot(const std::vector<std::string>& commands,
                   std::chrono::seconds limit = std::chrono::seconds(300));
  // %LOCALAPPDATA% of the prefix's user, as the updater sees it.
  std::string localAppData();
  // Where the pilot writes a picture (a Windows path) and where the PNG goes;
  // empty when no pictures are asked for (ZORVIK_WINDOWS_SCREENSHOT_DIR).
  std::vector<std::string> screenshotCommands(const std::string& name);
  void convertScreenshots();

  std::unique_ptr<VirtualDisplay> display_;  // outlives the Wine session's programs
  WineSession wine_;
  std::unique_ptr<sim::SimulatedLogger> logger_;
  bool serviceMode_ = false;
  std::map<std::string, std::string> screenshots_;  // BMP file -> PNG file
};

}  // namespace zorvik::wine
