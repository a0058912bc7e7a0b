// How the image events read: events 0, 26 and 27 are worded from the image
// they carry, never from an image looked up elsewhere, so two runs at once
// can never borrow each other's names.
#include "engine/event_texts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/events.h"
#include "images/catalogue.h"

namespace zorvik::engine {
namespace {

images::ImageHeader header(std::uint16_t deviceClass, std::uint16_t high, std::uint16_t low, std::uint16_t print,
                   std::uint16_t bootloader, std::uint16_t bootloaderVersion) {
  images::ImageHeader h;
  h.deviceClass = deviceClass;
  h.versionHigh = high;
  h.versionLow = low;
  h.platform = 24;
  h.print = print;
  h.bootloader = bootloader;
  h.bootloaderVersion = bootloaderVersion;
  return h;
}

TEST(ImageEventTexts, AreWordedFromTheImageTheEventCarries) {
  const struct {
    const char* name;
    RunEvent event;
    const char* text;
    bool status;
    bool message;
  } cases[] = {
      {"success, image 12", {kEvSuccess, 0, images::builtInHeader(12)}, "Update ZorvikB V6.26 succesfully completed.", true, true},
      {"success, class named by print", {kEvSuccess, 0, header(26135, 7, 3, 39, 3, 0)},
       "Update ZorvikWD V7.03 succesfully completed.", true, true},
      {"success without an image", {kEvSuccess, 0, std::nullopt}, "Update ? V0.00 succesfully completed.", true, true},
      {"programming, image 8", {kEvProgramming, 0, images::builtInHeader(8)}, "Update ZorvikB V5.136, A9d, BL3.0", true, false},
      {"programming, a file's own header", {kEvProgramming, 0, header(26135, 1, 2, 48, 2, 1)},
       "Update ZorvikWD V1.02, A10g BLE UART, BL2.1", true, false},
      {"candidate, image 1", {kEvCandidate, 1, images::builtInHeader(1)}, "Check ZorvikB V3.20, A0, BL2.0", false, false},
      // The value is the candidate's index in its run's source; the text
      // follows the image carried, whatever built-in image has that index.
      {"candidate 12 carrying another header", {kEvCandidate, 12, images::builtInHeader(5)}, "Check ZorvikB V5.42, A6/A7/A8, BL2.1",
       false, false},
      {"candidate 0 of a file", {kEvCandidate, 0, header(26113, 9, 99, 53, 3, 0)}, "Check ZorvikB V9.99, A9g, BL3.0",
       false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const EventPresentation p = presentEvent(c.event, "ttyUSB0");
    EXPECT_EQ(p.text, c.text);
    EXPECT_TRUE(p.report);
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.message, c.message);
  }
}

TEST(ImageEventTexts, SuccessEndsTheRunAtAFullProgressBar) {
  const EventPresentation p = presentEvent({kEvSuccess, 0, images::builtInHeader(3)}, "ttyUSB0");
  EXPECT_TRUE(p.endRun);
  EXPECT_EQ(p.progress, 100);
  EXPECT_EQ(p.repeat, RepeatKind::None);
}

}  // namespace
}  // namespace zorvik::engine
