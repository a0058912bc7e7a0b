// The station's policy as the command line and the window take it: the
// folder, which links are the loggers', and the image wording.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "station/station_policy.h"

namespace zorvik::station {
namespace {

TEST(StationPolicy, ALoggerLinkIsKnownByItsUsbVendorAndByItsNameOnlyWhereThatCannotBeRead) {
  struct Case {
    const char* name;
    std::string link;
    std::optional<ports::UsbId> usb;
    bool logger;
  };
  const Case cases[] = {
      {"the loggers' vendor under an FTDI name", "usb-FTDI_FT232R_USB_UART_A1-if00-port0", ports::UsbId{0x0403, 0x6001},
       true},
      {"the loggers' vendor, another of its products", "usb-FTDI_FT230X_Basic_UART_A2-if00-port0",
       ports::UsbId{0x0403, 0x6015}, true},
      {"the loggers' vendor under a maker string of its own", "usb-Maker_Cable_A3-if00-port0",
       ports::UsbId{0x0403, 0x6001}, true},
      {"another vendor under an FTDI name", "usb-FTDI_Clone_A4-if00-port0", ports::UsbId{0x1a86, 0x7523}, false},
      {"another vendor under its own name", "usb-Prolific_PL2303_A5-if00-port0", ports::UsbId{0x067b, 0x2303},
       false},
      {"unreadable: an FTDI name", "usb-FTDI_FT232R_USB_UART_A6-if00-port0", std::nullopt, true},
      {"unreadable: another maker's name", "usb-Prolific_PL2303_A7-if00-port0", std::nullopt, false},
      {"unreadable: the prefix in the middle of the name", "pci-usb-FTDI_A8", std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ports::PortDescription port;
    port.path = "/dev/ttyUSB0";
    port.usb = c.usb;
    EXPECT_EQ(isLoggerLink(c.link, port), c.logger);
    // The choice asks the description for the link's own path and decides
    // by the link's name, not the path's.
    std::vector<std::string> asked;
    const LinkChoice choice = LinkChoice::loggerAdapters([&](const std::string& path) {
      asked.push_back(path);
      return port;
    });
    EXPECT_EQ(choice.takes("/dev/serial/by-id/" + c.link), c.logger);
    EXPECT_EQ(asked, std::vector<std::string>{"/dev/serial/by-id/" + c.link});
  }
}

TEST(StationPolicy, EveryLinkIsTakenWithoutAsking) {
  const LinkChoice every = LinkChoice::everyLink();
  EXPECT_TRUE(every.takes("/srv/bench/usb-Prolific_PL2303_A5-if00-port0"));
  EXPECT_TRUE(every.takes("/srv/bench/bench-logger"));
  EXPECT_EQ(every.words(), "every port link");
}

TEST(StationPolicy, NoFolderChosenMeansTheByIdLinksOfLoggerAdapters) {
  struct Case {
    const char* name;
    std::filesystem::path chosen;
    std::filesystem::path watchDir;
    std::string words;
  };
  const Case cases[] = {
      {"none chosen", "", std::filesystem::path(ports::kSerialByIdDir), "links usb-FTDI*"},
      {"a folder chosen by hand", "/srv/bench", "/srv/bench", "every port link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StationLinks links = stationLinks(c.chosen);
    EXPECT_EQ(links.watchDir, c.watchDir);
    EXPECT_EQ(links.links.words(), c.words);
  }
}

TEST(StationPolicy, TheImageWordingNamesTheFileWhereOneIsGiven) {
  EXPECT_EQ(imagePolicy(""), "the built-in image that fits each logger");
  EXPECT_EQ(imagePolicy("/tmp/app 6.26.hex"), "only the image file /tmp/app 6.26.hex, where it fits");
}

}  // namespace
}  // namespace zorvik::station
