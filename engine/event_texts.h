// How every event of a run is presented to a person, without any toolkit:
// the window and the command line both format through this, so the two can
// never drift apart.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

#include "engine/events.h"
#include "images/image_header.h"

namespace zorvik::engine {

// The application title while idle.
constexpr const char* kAppTitle = "Zorvik Firmware Update";

enum class RepeatKind {
  None,
  AfterPause,  // event 13: wait 1500 ms, then start again
  AtOnce,      // error 44: start again at once
};
constexpr int kRepeatPauseMs = 1500;

struct EventPresentation {
  std::string text;
  bool report = false;       // R: a time-stamped line in the report
  bool status = false;       // S: status bar text and hint
  bool message = false;      // M: modal final message
  bool statusFirst = false;  // S before R (event 13 only)
  bool endRun = false;       // back to idle before R/S/M
  bool beep = false;
  int progress = -1;         // progress bar position to set, -1 none
  bool progressTitle = false;  // title := "<progress>%"
  RepeatKind repeat = RepeatKind::None;
  // The cause of a failure that ends an update and what fixes it, where a
  // front end's session found them; empty otherwise.
  std::string reason;
  std::string fix;
};

// port: the port of the run the event came from; only error 10 names it.
// Events 0, 26 and 27 are worded from the image they carry.
EventPresentation presentEvent(const RunEvent& event, const std::string& port);

// Text of an error code carried by event 10.
std::string errorText(std::int32_t code, const std::string& port);

// "<class name> V<version>" ("ZorvikB V6.26"): how every text names an image.
std::string classAndVersion(const images::ImageHeader& h);

// "Start at serial port "<port>"": the first line of every run.
std::string startText(const std::string& port);

// "hh-nn-ss -> text" with the given local time.
std::string reportLine(const std::tm& localTime, const std::string& text);
std::string reportLineNow(const std::string& text);

// The six columns of one row of the firmware overview: class name, version,
// platform, print, date, bootloader.
struct ImageRow {
  std::string firmware, version, platform, print, date, bootloader;
};
ImageRow imageRow(const images::ImageHeader& header);

}  // namespace zorvik::engine
