// How a firmware version reads wherever it is shown: "6.26", the minor with
// at least two digits, as the loggers themselves show it (6.05, 5.136).
//
// A version word of 0 means the version is unknown (the logger was never
// asked, or did not answer). These functions do not guess what to show then:
// they give "0.00" like any other word, and each caller that can meet an
// unknown version writes its own placeholder ("?" in the history table and
// the station's results) before calling them.
#pragma once

#include <cstdint>
#include <string>

namespace zorvik::images {

// From the two halves: an image header's "versionH" and "versionL".
std::string versionText(std::uint16_t major, std::uint16_t minor);

// From a version word: major in the high byte, minor in the low byte, as the
// logger's identity answer carries it.
std::string versionWordText(std::uint16_t word);

}  // namespace zorvik::images
