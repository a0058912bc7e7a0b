// The simulated logger's protocol, byte for byte, checked against the
// documented frames and records and against independent CRC and HEX code.
#include <gtest/gtest.h>

#include "images/catalogue.h"
#include "tests/sim/sim_test_helpers.h"

namespace zorvik::sim::testing {
namespace {

using namespace std::chrono_literals;

LoggerConfig bootloaderConfig(std::uint16_t id = 0xC802, std::uint16_t platform = 24) {
  LoggerConfig config;
  config.startInBootloader = true;
  config.bootloaderId = id;
  config.platform = platform;
  return config;
}

TEST(ReferenceChecks, PublishedCheckValues) {
  EXPECT_EQ(referenceCrc8("123456789", 9), 0xA1);
  const std::string digits = "123456789";
  EXPECT_EQ(referenceCrc16(std::vector<std::uint8_t>(digits.begin(), digits.end()), 9), 0x4B37);
}

TEST(ApplicationFrames, IdentityAnswerCarriesClassAndVersionWithCrc8) {
  LoggerConfig config;
  config.appClass = 0x6601;
  config.appVersion = 0x061A;
  ModelDriver sim(config);
  const std::string answer = sim.ask(kIdentityQuery);
  ASSERT_EQ(answer.size(), 8u);
  EXPECT_EQ(static_cast<std::uint8_t>(answer[0]) & 0x20, 0);
  EXPECT_EQ(answer.substr(2, 4), bytes({0x66, 0x01, 0x06, 0x1A}));
  EXPECT_EQ(static_cast<std::uint8_t>(answer[7]), referenceCrc8(answer, 7));
}

TEST(ApplicationFrames, SerialNumberLeastSignificantByteFirst) {
  LoggerConfig config;
  config.serialNumber = 0x12345678;
  ModelDriver sim(config);
  const std::string answer = sim.ask(kSerialQuery);
  ASSERT_EQ(answer.size(), 8u);
  EXPECT_EQ(answer.substr(1, 4), bytes({0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(static_cast<std::uint8_t>(answer[7]), referenceCrc8(answer, 7));
}

TEST(ApplicationFrames, SilentFramesAndRefusals) {
  struct Case {
    const char* name;
    std::string frame;
    Request logged;  // Request::Any: not logged at all
  };
  const Case cases[] = {
      {"null frame", kNullFrame, Request::NullFrame},
      {"identity query with a wrong CRC", bytes({0x81, 0, 0, 0, 0, 0, 0, 0xAB}), Request::Any},
      {"seven bytes only", kIdentityQuery.substr(0, 7), Request::Any},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ModelDriver sim(LoggerConfig{});
    EXPECT_EQ(sim.ask(c.frame), "");
    if (c.logged == Request::Any) {
      EXPECT_TRUE(sim.model.requests().empty());
    } else {
      EXPECT_EQ(sim.model.requests(), std::vector<Request>{c.logged});
    }
    // Whatever came before, the next identity query after a pause is answered.
    EXPECT_EQ(sim.ask(kIdentityQuery).size(), 8u);
  }
}

TEST(ApplicationFrames, UnknownCommandIsAnsweredAsAnException) {
  ModelDriver sim(LoggerConfig{});
  std::string frame = bytes({0x87, 0x01, 0, 0, 0, 0, 0, 0});
  frame[7] = static_cast<char>(referenceCrc8(frame, 7));
  const std::string answer = sim.ask(frame);
  ASSERT_EQ(answer.size(), 8u);
  EXPECT_NE(static_cast<std::uint8_t>(answer[0]) & 0x20, 0);
  EXPECT_EQ(static_cast<std::uint8_t>(answer[7]), referenceCrc8(answer, 7));
  EXPECT_EQ(sim.model.requests(), std::vector<Request>{Request::OtherFrame});
}

// An application takes the entry frame of its version only: the old frame
// (command 5) below 6.0, the new one (command 2) from 6.0 on. The frame it
// takes switches it silently after the reboot time; the other one it does
// not know, so it neither answers nor moves.
TEST(BootloaderEntry, OnlyTheFrameOfTheApplicationsVersionSwitches) {
  struct Case {
    const char* name;
    std::uint16_t appVersion;
    const std::string& frame;
    bool swapped;  // LoggerConfig::entryFramesSwapped
    bool switches;
  };
  const Case cases[] = {
      {"1.0, old frame", 0x0100, kEntryFrameOld, false, true},
      {"1.0, new frame", 0x0100, kEntryFrameNew, false, false},
      {"5.255, old frame", 0x05FF, kEntryFrameOld, false, true},
      {"5.255, new frame", 0x05FF, kEntryFrameNew, false, false},
      {"6.0, new frame", 0x0600, kEntryFrameNew, false, true},
      {"6.0, old frame", 0x0600, kEntryFrameOld, false, false},
      {"6.26, new frame", 0x061A, kEntryFrameNew, false, true},
      {"6.26, old frame", 0x061A, kEntryFrameOld, false, false},
      {"255.255, new frame", 0xFFFF, kEntryFrameNew, false, true},
      {"swapped 5.255, new frame", 0x05FF, kEntryFrameNew, true, true},
      {"swapped 5.255, old frame", 0x05FF, kEntryFrameOld, true, false},
      {"swapped 6.0, old frame", 0x0600, kEntryFrameOld, true, true},
      {"swapped 6.0, new frame", 0x0600, kEntryFrameNew, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoggerConfig config;
    config.appVersion = c.appVersion;
    config.entryFramesSwapped = c.swapped;
    config.rebootTime = 300ms;
    ModelDriver sim(config);
    EXPECT_EQ(sim.ask(c.frame), "");
    EXPECT_EQ(sim.model.requests(),
              std::vector<Request>{c.switches ? Request::BootloaderEntry : Request::WrongEntryFrame});
    if (c.switches) {
      EXPECT_EQ(sim.mode(), Mode::Rebooting);
      EXPECT_EQ(sim.ask(kIdentityQuery), "") << "silent while rebooting";
      sim.wait(200ms);
      EXPECT_EQ(sim.mode(), Mode::Bootloader);
      const std::string answer = sim.ask(kIdentityQuery);
      ASSERT_EQ(answer.size(), 8u);
      EXPECT_EQ(answer.substr(2, 4), bytes({0xC8, 0x02, 0x00, 0x00}));
    } else {
      EXPECT_EQ(sim.mode(), Mode::Application);
      sim.wait(300ms);
      EXPECT_EQ(sim.mode(), Mode::Application);
      const std::string answer = sim.ask(kIdentityQuery);
      ASSERT_EQ(answer.size(), 8u);
      EXPECT_EQ(answer.substr(2, 4), bytes({0x66, 0x01, c.appVersion >> 8, c.appVersion & 0xFF}))
          << "still the application";
    }
    EXPECT_EQ(sim.model.restarts(), 0) << "only end records count as restarts";
  }
}

TEST(BootloaderEntry, IgnoredWhenTheLoggerDoesNotHonourIt) {
  LoggerConfig config;
  config.honourBootloaderEntry = false;
  ModelDriver sim(config);
  EXPECT_EQ(sim.ask(kEntryFrameNew), "");
  EXPECT_EQ(sim.mode(), Mode::Application);
  EXPECT_EQ(sim.ask(kIdentityQuery).substr(2, 2), bytes({0x66, 0x01}));
}

TEST(BootloaderFrames, IdentityReportsBootloaderIdAndVersion) {
  LoggerConfig config = bootloaderConfig(0xC801);
  config.bootloaderVersion = 0x0103;
  ModelDriver sim(config);
  const std::string answer = sim.ask(kIdentityQuery);
  ASSERT_EQ(answer.size(), 8u);
  EXPECT_EQ(answer.substr(2, 4), bytes({0xC8, 0x01, 0x01, 0x03}));
  EXPECT_EQ(static_cast<std::uint8_t>(answer[7]), referenceCrc8(answer, 7));
  EXPECT_EQ(sim.ask(kNullFrame), "");
}

TEST(BootloaderRecords, InfoAnswerIsSixBytesHighByteFirst) {
  LoggerConfig config = bootloaderConfig();
  config.platform = 24;
  config.print = 53;
  config.info = 0x0102;
  ModelDriver sim(config);
  // 06 0000 00 0018 0035 0102: byte sum 0x56, checksum 0xAA.
  EXPECT_EQ(sim.ask(kInfoRequest), ":06000000001800350102AA");
  EXPECT_EQ(sim.model.requests(), std::vector<Request>{Request::InfoRequest});
}

TEST(BootloaderRecords, UpdateIdBlockWordsLowByteFirstWithModbusCrc) {
  LoggerConfig config = bootloaderConfig(0xC802, 23);
  config.upidClass = 0x6601;
  config.upidInfo = 0x00AB;
  config.upidPlatform = 23;
  config.upidPrint = 49;
  config.upidReserve = 0x1234;
  ModelDriver sim(config);
  const std::string answer = sim.ask(":01006005306A");
  ASSERT_EQ(answer.size(), 139u);
  const auto rec = recordBytes(answer);
  ASSERT_EQ(rec.size(), 69u);
  EXPECT_EQ(byteSum(rec), 0) << "record checksum";
  EXPECT_EQ(rec[0], 0x40);
  const std::vector<std::uint8_t> data(rec.begin() + 4, rec.end() - 1);
  const std::vector<std::uint8_t> words{0x01, 0x66, 0xAB, 0x00, 23, 0, 49, 0, 0x34, 0x12};
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 10), words);
  const std::uint16_t crc = referenceCrc16(data, 10);
  EXPECT_EQ(data[10], crc & 0xFF);
  EXPECT_EQ(data[11], crc >> 8);
  for (std::size_t i = 12; i < data.size(); ++i) EXPECT_EQ(data[i], 0xFF) << i;
}

TEST(BootloaderRecords, UpdateIdBlockWithDeliberatelyWrongCrc) {
  LoggerConfig config = bootloaderConfig();
  config.upidCrcValid = false;
  ModelDriver sim(config);
  const auto rec = recordBytes(sim.ask(":01006005306A"));
  ASSERT_EQ(rec.size(), 69u);
  EXPECT_EQ(byteSum(rec), 0) << "the record itself stays intact";
  const std::vector<std::uint8_t> data(rec.begin() + 4, rec.end() - 1);
  EXPECT_NE(data[10] | data[11] << 8, referenceCrc16(data, 10));
}

// The update-ID request is answered only at the start of the platform's first
// memory segment, in blocks of 64 bytes for the third bootloader generation.
TEST(BootloaderRecords, UpdateIdAnsweredOnlyAtTheHostsAddress) {
  struct Case {
    std::uint16_t id;
    std::uint16_t platform;
    std::string request;
    bool answered;
  };
  const Case cases[] = {
      {0xC802, 23, ":01006005306A", true},   // 0x1800 / 64
      {0xC802, 24, ":01006005306A", true},   // 0x1800 / 64
      {0xC801, 9, ":0110000530BA", true},    // 0x1000 in bytes
      {0xC802, 9, ":01004005308A", true},    // 0x1000 / 64 = 0x40
      {0xC802, 23, ":0118000530B2", false},  // bytes where blocks are due
      {0xC801, 9, ":01004005308A", false},   // blocks where bytes are due
      {0xC801, 23, ":01006005306A", false},
      {0xC802, 0, ":0100000530CA", true},    // no segment 0: address 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request + " platform " + std::to_string(c.platform));
    ModelDriver sim(bootloaderConfig(c.id, c.platform));
    const std::string answer = sim.ask(c.request);
    EXPECT_EQ(answer.size(), c.answered ? 139u : 0u);
    EXPECT_EQ(sim.model.requests(), std::vector<Request>{Request::UpdateIdRequest});
  }
}

TEST(BootloaderRecords, RefusesWhatItCannotTake) {
  struct Case {
    const char* name;
    std::string request;
    Request logged;  // Request::Any: not understood, not logged
  };
  const Case cases[] = {
      {"wrong checksum", ":0100000520DB", Request::Any},
      {"lower-case digits", ":0100000520da", Request::Any},
      {"unknown command", ":0100000540BA", Request::OtherRecord},
      {"end-of-file record", ":00000001FF", Request::OtherRecord},
      {"info request at address 1", ":0100010520D9", Request::InfoRequest},
      {"first-generation start on a third-generation bootloader", ":0100000511E9", Request::StartRecord},
      {"data line before the start record", dataLine(0x0128, 0), Request::DataLine},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ModelDriver sim(bootloaderConfig());
    EXPECT_EQ(sim.ask(c.request), "");
    if (c.logged == Request::Any) {
      EXPECT_TRUE(sim.model.requests().empty());
    } else {
      EXPECT_EQ(sim.model.requests(), std::vector<Request>{c.logged});
    }
    EXPECT_FALSE(sim.model.programmingOpen());
    EXPECT_TRUE(sim.model.flash().empty());
    EXPECT_EQ(sim.ask(kInfoRequest).size(), 23u) << "still listening";
  }
}

TEST(Programming, StartEchoEndAndRestart) {
  LoggerConfig config = bootloaderConfig();
  config.rebootTime = 500ms;
  ModelDriver sim(config);
  const std::string reply = sim.ask(kStartRecord);
  ASSERT_EQ(reply.size(), 13u);
  const auto rec = recordBytes(reply);
  ASSERT_EQ(rec.size(), 6u);
  EXPECT_EQ(rec[0], 1);
  EXPECT_EQ(byteSum(rec), 0);
  EXPECT_TRUE(sim.model.programmingOpen());

  const std::string a = dataLine(0x0128, 0x10);
  const std::string b = dataLine(0x03DF, 0x80);
  EXPECT_EQ(sim.ask(a), a);
  EXPECT_EQ(sim.ask(b), b);
  EXPECT_EQ(sim.model.flash().size(), 2u);
  EXPECT_EQ(sim.model.flash().at(0x0128), a);
  ASSERT_EQ(sim.model.flashWrites().size(), 2u);
  EXPECT_EQ(sim.model.flashWrites()[1].address, 0x03DF);

  EXPECT_EQ(sim.ask(kEndRecord), "");
  EXPECT_FALSE(sim.model.programmingOpen());
  EXPECT_EQ(sim.model.restarts(), 1);
  EXPECT_EQ(sim.mode(), Mode::Rebooting);
  EXPECT_EQ(sim.ask(kIdentityQuery), "");
  sim.wait(400ms);
  EXPECT_EQ(sim.mode(), Mode::Application);
  EXPECT_EQ(sim.ask(kIdentityQuery).substr(2, 2), bytes({0x66, 0x01}));
}

TEST(Programming, StartRecordErasesEarlierAttempt) {
  ModelDriver sim(bootloaderConfig());
  sim.ask(kStartRecord);
  sim.ask(dataLine(0x0128, 1));
  sim.ask(dataLine(0x0129, 2));
  sim.ask(kStartRecord);
  const std::string again = dataLine(0x0128, 3);
  sim.ask(again);
  EXPECT_EQ(sim.model.flash(), (std::map<std::uint16_t, std::string>{{0x0128, again}}));
  ASSERT_EQ(sim.model.flashWrites().size(), 1u);
  EXPECT_EQ(sim.model.flashWrites()[0].line, again);
}

TEST(Programming, FirstGenerationUsesItsOwnCommandBytes) {
  ModelDriver sim(bootloaderConfig(0xC800));
  EXPECT_EQ(sim.ask(kStartRecord), "") << "0x31 is not for 0xC800";
  EXPECT_EQ(sim.ask(":0100000511E9").size(), 13u);
  EXPECT_EQ(sim.ask(kEndRecord), "");
  EXPECT_EQ(sim.model.restarts(), 0);
  EXPECT_EQ(sim.ask(":0100000513E7"), "");
  EXPECT_EQ(sim.model.restarts(), 1);
}

// The restarted application reports what the flash now holds.
class RestartClass : public ::testing::Test {
 protected:
  static std::vector<std::string> imageDataLines(int image) {
    const images::ImageSource builtIn;
    std::vector<std::string> lines;
    for (int i = 0; i < builtIn.lastLine(image); ++i) lines.emplace_back(builtIn.line(image, i));
    return lines;
  }

  static void program(ModelDriver& sim, const std::vector<std::string>& lines) {
    sim.ask(kStartRecord);
    for (const auto& line : lines) EXPECT_EQ(sim.ask(line), line);
    sim.ask(kEndRecord);
    sim.wait(1s);
  }

  std::string classAfterProgramming(LoggerConfig config, const std::vector<std::string>& lines) {
    config.startInBootloader = true;
    ModelDriver sim(config);
    program(sim, lines);
    return sim.ask(kIdentityQuery).substr(2, 4);
  }

  LoggerConfig otherApplication() {
    LoggerConfig config;
    config.appClass = 0x1234;
    config.appVersion = 0x0100;
    return config;
  }
};

TEST_F(RestartClass, BuiltInImageGivesItsClassAndVersion) {
  const auto lines = imageDataLines(12);
  ASSERT_EQ(lines.size(), 827u);
  // Image 12: class 26113 (0x6601), version 6.26.
  EXPECT_EQ(classAfterProgramming(otherApplication(), lines), bytes({0x66, 0x01, 0x06, 0x1A}));
}

// The version the application has now decides its entry frame, not the one
// it was configured with: after image 12 (6.26) a 1.0 logger takes only the
// new frame.
TEST_F(RestartClass, TheProgrammedVersionChoosesTheEntryFrame) {
  LoggerConfig config = otherApplication();
  config.startInBootloader = true;
  ModelDriver sim(config);
  program(sim, imageDataLines(12));
  ASSERT_EQ(sim.mode(), Mode::Application);
  EXPECT_EQ(sim.ask(kEntryFrameOld), "");
  EXPECT_EQ(sim.mode(), Mode::Application);
  EXPECT_EQ(sim.ask(kEntryFrameNew), "");
  EXPECT_EQ(sim.mode(), Mode::Bootloader);
  const auto requests = sim.model.requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[requests.size() - 2], Request::WrongEntryFrame);
  EXPECT_EQ(requests.back(), Request::BootloaderEntry);
}

TEST_F(RestartClass, IncompleteOrAlteredImageGivesTheConfiguredClass) {
  auto lines = imageDataLines(12);
  auto missing = lines;
  missing.erase(missing.begin() + 100);
  auto extra = lines;
  extra.push_back(dataLine(0x7000, 0));
  auto altered = lines;
  altered[3] = dataLine(static_cast<std::uint16_t>(std::stoi(altered[3].substr(3, 4), nullptr, 16)), 7);
  for (const auto* variant : {&missing, &extra, &altered}) {
    EXPECT_EQ(classAfterProgramming(otherApplication(), *variant), bytes({0x12, 0x34, 0x01, 0x00}));
  }
}

TEST_F(RestartClass, ConfiguredClassOrStayingInTheBootloaderWins) {
  const auto lines = imageDataLines(11);
  LoggerConfig forced = otherApplication();
  forced.classAfterRestart = 0x4321;
  EXPECT_EQ(classAfterProgramming(forced, lines).substr(0, 2), bytes({0x43, 0x21}));
  LoggerConfig stays = otherApplication();
  stays.stayInBootloaderAfterRestart = true;
  EXPECT_EQ(classAfterProgramming(stays, lines), bytes({0xC8, 0x02, 0x00, 0x00}));
}

TEST(Framing, PartialRequestIsDroppedAfterSilence) {
  ModelDriver sim(LoggerConfig{});
  sim.model.receive(bytes({0x12, 0x34, 0x56}), sim.now);
  // Without a pause the garbage and the query run together: nothing fits.
  EXPECT_TRUE(sim.model.receive(kIdentityQuery, sim.now + 10ms).replies.empty());
  // After a silence the logger starts afresh.
  sim.model.receive(bytes({0x12, 0x34, 0x56}), sim.now + 20ms);
  const auto out = sim.model.receive(kIdentityQuery, sim.now + 80ms);
  ASSERT_EQ(out.replies.size(), 1u);
  EXPECT_EQ(out.replies[0].bytes.size(), 8u);
}

TEST(Framing, RequestSplitAcrossReadsIsJoined) {
  ModelDriver sim(bootloaderConfig());
  EXPECT_TRUE(sim.model.receive(kInfoRequest.substr(0, 5), sim.now).replies.empty());
  const auto out = sim.model.receive(kInfoRequest.substr(5), sim.now + 20ms);
  ASSERT_EQ(out.replies.size(), 1u);
  EXPECT_EQ(out.replies[0].bytes.size(), 23u);
}

TEST(Framing, BootloaderTakesFramesAndRecordsBackToBack) {
  ModelDriver sim(bootloaderConfig());
  const auto out = sim.model.receive(kNullFrame + kIdentityQuery + kInfoRequest, sim.now);
  ASSERT_EQ(out.replies.size(), 2u);
  EXPECT_EQ(out.replies[0].bytes.size(), 8u);
  EXPECT_EQ(out.replies[1].bytes.size(), 23u);
}

TEST(Framing, RecordWithUnreadableCountIsSkippedUntilSilence) {
  ModelDriver sim(bootloaderConfig());
  EXPECT_TRUE(sim.model.receive(":ZZ00000520DA" + kInfoRequest, sim.now).replies.empty());
  const auto out = sim.model.receive(kInfoRequest, sim.now + 60ms);
  EXPECT_EQ(out.replies.size(), 1u);
}

TEST(WireTiming, RequestAndAnswerTakeTheirCharacterTimes) {
  LoggerConfig config = bootloaderConfig();
  config.wireTiming = true;
  for (const double scale : {1.0, 10.0}) {
    SCOPED_TRACE(scale);
    config.clockScale = scale;
    ModelDriver sim(config);
    const auto charTime = std::chrono::duration<double>(10.0 / 9600.0 / scale);
    EXPECT_NEAR(std::chrono::duration<double>(sim.model.charTime()).count(), charTime.count(), 1e-9);
    const auto out = sim.model.receive(":01006005306A", sim.now);
    ASSERT_EQ(out.replies.size(), 1u);
    // The answer starts when the 13th character of the request is through.
    EXPECT_NEAR(std::chrono::duration<double>(out.replies[0].start - sim.now).count(), 13 * charTime.count(),
                1e-6);
    // A second request arriving at once queues behind the first answer.
    const auto next = sim.model.receive(kInfoRequest, sim.now);
    ASSERT_EQ(next.replies.size(), 1u);
    EXPECT_NEAR(std::chrono::duration<double>(next.replies[0].start - sim.now).count(),
                (13 + 139) * charTime.count(), 1e-6);
  }
}

}  // namespace
}  // namespace zorvik::sim::testing
