// The line the confirmation shows for each port, for every answer the
// logger may give before the question.
#include <gtest/gtest.h>

#include <string>

#include "images/identity_tables.h"
#include "session/target_description.h"

namespace zorvik::testing {
namespace {

TEST(TargetDescription, SaysWhatEachLoggerHasAndWouldGet) {
  engine::LoggerIdentity inApplication;
  inApplication.deviceClass = images::kClassZorvik;
  inApplication.version = 0x0614;
  inApplication.serialNumber = 410001;
  engine::LoggerIdentity otherClass = inApplication;
  otherClass.deviceClass = 0x6602;
  engine::LoggerIdentity inBootloader;
  inBootloader.deviceClass = images::kClassBootloader3;
  inBootloader.inBootloader = true;
  engine::LoggerIdentity silent;
  silent.error = 30;
  const struct {
    const char* what;
    engine::LoggerIdentity id;
    std::string line;
    std::string port = "/dev/ttyUSB0";
  } cases[] = {
      {"in its application", inApplication,
       "/dev/ttyUSB0: ZorvikB, serial number 410001, version 6.20 -> 6.26 (the newest image for its class)"},
      {"a class with no image", otherClass, "(no image here is for its class)"},
      {"in its bootloader", inBootloader, "/dev/ttyUSB0: the logger is in its bootloader"},
      {"no answer", silent, "/dev/ttyUSB0: the logger could not be asked who it is ("},
      {"no port chosen", inApplication, "No port chosen: the logger could not be asked who it is", "  "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string line = session::describeTarget(c.port, c.id, images::ImageSource());
    EXPECT_NE(line.find(c.line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace zorvik::testing
