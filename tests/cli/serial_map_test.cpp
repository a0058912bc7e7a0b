// The rule that picks the loggers' ports out of the Windows serial port map;
// the registry reading around it is exercised under Wine (tests/wine).
#include <gtest/gtest.h>

#include "cli.h"

namespace zorvik::cli {
namespace {

struct MapCase {
  const char* name;
  std::vector<SerialMapValue> values;
  std::vector<std::string> ports;
};

TEST(SerialMap, KeepsTheVcpPortsInMapOrder) {
  const MapCase cases[] = {
      {"VCP0, Serial0, vcp1: letter case ignored, others dropped",
       {{"\\Device\\VCP0", "COM5"}, {"\\Device\\Serial0", "COM1"}, {"\\Device\\vcp1", "COM9"}},
       {"COM5", "COM9"}},
      {"map order kept, no sorting, duplicates kept",
       {{"\\Device\\VCP3", "COM12"}, {"\\Device\\VCP1", "COM3"}, {"\\DEVICE\\VCP2", "COM3"}},
       {"COM12", "COM3", "COM3"}},
      {"the prefix must open the name",
       {{"\\Device\\USBVCP0", "COM6"}, {"VCP0", "COM7"}, {"\\Device\\VC", "COM8"}, {"\\Device\\VCP", "COM9"}},
       {"COM9"}},
      {"no map", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(vcpPortsFromSerialMap(c.values), c.ports);
  }
}

}  // namespace
}  // namespace zorvik::cli
