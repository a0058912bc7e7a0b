#include "tests/wine/window_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#ifdef ZORVIK_HAVE_QT_GUI
#include <QImage>
#endif

namespace zorvik::wine {

namespace fs = std::filesystem;

namespace {
const std::string kGuiExe = ZORVIK_WINDOWS_GUI_EXE;
const std::string kPilotExe = ZORVIK_WINDOWS_PILOT_EXE;
const std::string kXvfb = ZORVIK_XVFB;
const std::string kServiceKey = "HKCU\\Software\\Harventa\\Qorn";
const std::string kSerialMap = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
// The programs run in a virtual desktop of their own: Wine draws the
// windows' frames there as Windows does, and places them where the program
// says, with no window manager in between.
const std::string kDesktop = "/desktop=ZorvikPilot,1024x768";
}  // namespace

bool Transcript::completed() const { return status == 0 && !lines.empty() && lines.back() == "done"; }

std::vector<std::string> Transcript::all(const std::string& key) const {
  std::vector<std::string> values;
  const std::string prefix = key + ": ";
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) values.push_back(line.substr(prefix.size()));
  }
  return values;
}

std::string Transcript::first(const std::string& key) const {
  const auto values = all(key);
  return values.empty() ? std::string("<no \"" + key + "\">") : values.front();
}

std::string Transcript::last(const std::string& key) const {
  const auto values = all(key);
  return values.empty() ? std::string("<no \"" + key + "\">") : values.back();
}

std::vector<ReportLine> reportLines(const std::string& reportText) {
  std::vector<ReportLine> lines;
  if (reportText.empty()) return lines;
  static const std::regex stamped(R"(^(\d\d-\d\d-\d\d) -> (.*)$)");
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = reportText.find("\\n", start);
    const std::string line = reportText.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::smatch match;
    if (std::regex_match(line, match, stamped)) lines.push_back({match[1], match[2]});
    else lines.push_back({"", line});
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> textLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> reportTexts(const std::string& reportText) {
  std::vector<std::string> texts;
  for (const auto& line : reportLines(reportText)) texts.push_back(line.text);
  return texts;
}

Rect rectAt(const std::string& text, const std::string& after) {
  Rect r;
  const std::size_t at = text.find(after);
  if (at == std::string::npos) return r;
  std::istringstream in(text.substr(at + after.size()));
  char comma = 0;
  in >> r.left >> comma >> r.top >> comma >> r.width >> comma >> r.height;
  return r;
}

void WineWindow::SetUp() {
  if (kGuiExe.empty() || !fs::exists(kGuiExe)) {
    GTEST_SKIP() << "zorvik-updater.exe was not built: cross-build it (cmake --build build-win --target "
                    "zorvik-updater zorvik-window-pilot) and configure this build with "
                    "-DZORVIK_WINDOWS_GUI_EXE=<build-win>/apps/windows/zorvik-updater.exe";
  }
  if (!fs::exists(kPilotExe)) GTEST_SKIP() << "the pilot " << kPilotExe << " was not built (target zorvik-window-pilot)";
  if (kXvfb.empty()) GTEST_SKIP() << "Xvfb is not installed: apt-get install xvfb (scripts/setup.sh does)";
  std::string why;
  display_ = VirtualDisplay::start(kXvfb, why);
  if (!display_) GTEST_SKIP() << why;
  // After the session's set-up, which keeps the command-line tests away
  // from any display: the window's programs need this one.
  setenv("DISPLAY", display_->name().c_str(), 1);
  setServiceMode(false);
}

void WineWindow::TearDown() {
  if (serviceMode_) setServiceMode(false);
  convertScreenshots();
}

void WineWindow::startLogger(const sim::LoggerConfig& config) {
  logger_ = std::make_unique<sim::SimulatedLogger>(config);
  if (!logger_->start()) GTEST_SKIP() << "no pseudo-terminal available";
  wine_.mapPort("COM5", logger_->devicePath());
  // The port is a logger's, as the port box lists them.
  const RunResult added = wine_.run({"reg", "add", kSerialMap, "/v", "\\Device\\VCP0", "/t", "REG_SZ", "/d", "COM5", "/f"});
  ASSERT_EQ(added.status, 0) << added.out << added.err;
}

void WineWindow::setServiceMode(bool on) {
  serviceMode_ = on;
  if (on) {
    const RunResult added =
        wine_.run({"reg", "add", kServiceKey, "/v", "intern", "/t", "REG_DWORD", "/d", "7406", "/f"});
    ASSERT_EQ(added.status, 0) << added.out << added.err;
  } else {
    wine_.run({"reg", "delete", kServiceKey, "/f"});  // fails when there is none: that is the point
  }
}

Transcript WineWindow::pilot(const std::vector<std::string>& commands, std::chrono::seconds limit) {
  std::vector<std::string> arguments{"explorer", kDesktop, kPilotExe, "--updater", windowsPath(kGuiExe)};
  arguments.insert(arguments.end(), commands.begin(), commands.end());
  const RunResult result = wine_.run(arguments, limit);
  Transcript t;
  t.status = result.status;
  t.raw = result.out + result.err;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    t.lines.push_back(line);
  }
  return t;
}

std::string WineWindow::localAppData() {
  const RunResult echoed = wine_.run({"cmd", "/c", "echo", "%LOCALAPPDATA%"});
  std::string path = echoed.out;
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r' || path.back() == ' ')) path.pop_back();
  return path;
}

std::vector<std::string> WineWindow::screenshotCommands(const std::string& name) {
  const char* dir = std::getenv("ZORVIK_WINDOWS_SCREENSHOT_DIR");
  if (!dir || !*dir) return {};
  const fs::path bmp = fs::path(ZORVIK_WINE_OUTPUT_DIR) / ("windows-" + name + ".bmp");
  screenshots_[bmp.string()] = (fs::path(dir) / ("windows-" + name + ".png")).string();
  return {"shot " + windowsPath(bmp.string())};
}

void WineWindow::convertScreenshots() {
  for (const auto& [bmp, png] : screenshots_) {
#ifdef ZORVIK_HAVE_QT_GUI
    QImage image;
    EXPECT_TRUE(image.load(QString::fromStdString(bmp), "BMP")) << "no picture in " << bmp;
    EXPECT_TRUE(image.save(QString::fromStdString(png), "PNG")) << "cannot write " << png;
#else
    ADD_FAILURE() << "pictures need Qt 6 (QImage) to be written as PNG; " << bmp << " stays a BMP file";
#endif
  }
  screenshots_.clear();
}

}  // namespace zorvik::wine
