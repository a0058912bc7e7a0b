// The update procedure end to end against the simulated logger: identification,
// image selection, programming and the restart check.
#include "images/record_codec.h"
#include "tests/engine/engine_fixture.h"

namespace zorvik::testing {
namespace {

using sim::FaultKind;
using sim::Request;

class AllImages : public EngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(AllImages, ProgramsExactlyTheImageWithTheVectorTableLast) {
  const int image = GetParam();
  startLogger(loggerFor(image));
  const auto events = run();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), (Event{0, 0}));
  EXPECT_EQ(chosenImage(lastRun_), image);
  const auto programming = eventsWithCode(lastRun_, engine::kEvProgramming);
  ASSERT_EQ(programming.size(), 1u);
  EXPECT_EQ(programming[0].image, images::builtInHeader(image));
  EXPECT_EQ(logger_->restarts(), 1);

  bool hasVectorLine = false;
  for (const auto& line : dataLines(image)) hasVectorLine = hasVectorLine || line.substr(3, 4) == "03DF";
  EXPECT_EQ(writtenLines(*logger_), flashOrder(images::ImageSource(), image));
  EXPECT_EQ(!hasVectorLine, images::builtInHeader(image).bootloader == 2);
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, AllImages, ::testing::Range(1, 13));

using UpdateProcedure = EngineTest;

// The report of a full update, progress left out: what the logger said, the
// candidates, the programming and the restart.
TEST_F(UpdateProcedure, EventSequenceOfAFullUpdate) {
  startLogger(loggerFor(12));
  const auto events = run();
  std::vector<Event> steps;
  std::vector<std::int32_t> progress;
  for (const auto& e : events) {
    if (e.code == engine::kEvProgress) progress.push_back(e.value);
    else steps.push_back(e);
  }
  std::vector<Event> expected = {
      {20, 0x6601}, {21, 0x061A},      // application
      {20, 0xC802}, {21, 0x0000},      // bootloader
      {22, 24}, {23, 53}, {24, 0x0102}, {25, 0x6601}, {28, 0x00AB},
      {22, 24}, {23, 53},              // the identity block confirmed them
  };
  for (int i = 1; i <= 12; ++i) expected.push_back({27, i});
  expected.push_back({26, 0});
  expected.push_back({40, 0});
  expected.push_back({40, 1});
  expected.push_back({20, 0x6601});
  expected.push_back({0, 0});
  EXPECT_EQ(steps, expected);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(std::adjacent_find(progress.begin(), progress.end()), progress.end()) << "one event per step";
  EXPECT_EQ(progress.back(), 826 * 99 / 827);
  // The fixed pauses: wake-up twice, entry, before and after the end record.
  EXPECT_EQ(sleeper_->pauses(), (std::vector<int>{100, 100, 1, 500, 2000}));
}

struct FailureCase {
  const char* name;
  void (*configure)(sim::LoggerConfig&);
  std::vector<sim::Fault> faults;
  Event final;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

void noChange(sim::LoggerConfig&) {}

class Failures : public EngineTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failures, EndWithTheirCode) {
  const FailureCase& c = GetParam();
  sim::LoggerConfig config = loggerFor(12);
  c.configure(config);
  startLogger(config);
  for (const auto& f : c.faults) logger_->injectFault(f);
  const auto events = run();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), c.final);
  int finals = 0;
  for (const auto& e : events) finals += engine::isFinalEvent(e.code) ? 1 : 0;
  EXPECT_EQ(finals, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Failures,
    ::testing::Values(
        FailureCase{"HangUpMidImage", noChange, {{FaultKind::HangUp, Request::DataLine, 100}}, {10, 11}},
        FailureCase{"BootloaderSilentAfterEntry", noChange, {{FaultKind::NoAnswer, Request::IdentityQuery, 1, 5}}, {13, 0}},
        FailureCase{"NoAnswerToALine", noChange, {{FaultKind::NoAnswer, Request::DataLine, 20, 5}}, {13, 0}},
        FailureCase{"NoAnswerToRestartCheck", noChange, {{FaultKind::NoAnswer, Request::IdentityQuery, 2, 5}}, {13, 0}},
        FailureCase{"OtherApplicationClass", [](sim::LoggerConfig& c) { c.appClass = 0x6602; }, {}, {10, 40}},
        FailureCase{"StaysInApplication", [](sim::LoggerConfig& c) { c.honourBootloaderEntry = false; }, {}, {10, 40}},
        FailureCase{"LoggerException", noChange, {{FaultKind::ExceptionBit, Request::IdentityQuery}}, {10, 41}},
        FailureCase{"AlteredEcho", noChange, {{FaultKind::AlteredEcho, Request::DataLine, 10}}, {10, 44}},
        FailureCase{"OtherClassAfterRestart", [](sim::LoggerConfig& c) { c.classAfterRestart = 0x6602; }, {}, {10, 45}},
        FailureCase{"StaysInBootloader", [](sim::LoggerConfig& c) { c.stayInBootloaderAfterRestart = true; }, {}, {10, 45}},
        FailureCase{"DamagedInfoAnswer", noChange, {{FaultKind::BadChecksum, Request::InfoRequest, 0, 5}}, {10, 46}},
        FailureCase{"ShortUpdateIdAnswer", noChange, {{FaultKind::ShortAnswer, Request::UpdateIdRequest, 0, 5}}, {10, 46}},
        FailureCase{"NoImageForThisPrint", [](sim::LoggerConfig& c) { c.print = c.upidPrint = 52; }, {}, {10, 47}},
        FailureCase{"UnknownPlatform", [](sim::LoggerConfig& c) { c.platform = 29; c.upidCrcValid = false; }, {}, {10, 47}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(UpdateProcedure, EchoMismatchNamesTheLineAndStopsThere) {
  startLogger(loggerFor(12));
  logger_->injectFault({FaultKind::AlteredEcho, Request::DataLine, 10});
  const auto events = run();
  const auto mismatch = withCode(events, engine::kEvEchoMismatch);
  ASSERT_EQ(mismatch.size(), 1u);
  EXPECT_EQ(mismatch[0].value, 10);
  EXPECT_EQ(logger_->flashWrites().size(), 11u);
  EXPECT_EQ(logger_->restarts(), 0);
}

engine::RunOptions readInfoOnly() {
  engine::RunOptions options;
  options.readInfoOnly = true;
  return options;
}

TEST_F(UpdateProcedure, ReadInfoOnlyStopsBeforeWritingAnything) {
  startLogger(loggerFor(12));
  EXPECT_EQ(run(readInfoOnly()).back(), (Event{10, 70}));
  EXPECT_EQ(chosenImage(lastRun_), 12);
  EXPECT_TRUE(eventsWithCode(lastRun_, engine::kEvProgramming).empty());
  const auto requests = logger_->requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), Request::StartRecord), 0);
}

TEST_F(UpdateProcedure, ReadInfoOnlyWithoutMatchIsStillNoImage) {
  sim::LoggerConfig config = loggerFor(12);
  config.print = config.upidPrint = 52;
  startLogger(config);
  const auto events = run(readInfoOnly());
  EXPECT_EQ(events.back(), (Event{10, 47}));
  EXPECT_EQ(withCode(events, engine::kEvCandidate).size(), 12u);
  EXPECT_EQ(chosenImage(lastRun_), -1);
}

TEST_F(UpdateProcedure, OtherApplicationClassWritesNothingAfterTheQuery) {
  sim::LoggerConfig config = loggerFor(12);
  config.appClass = 0x6602;
  startLogger(config);
  const auto events = run();
  EXPECT_EQ(events, (std::vector<Event>{{20, 0x6602}, {21, 0x061A}, {10, 40}}));
  EXPECT_EQ(requestsSoFar(),
            (std::vector<Request>{Request::NullFrame, Request::NullFrame, Request::IdentityQuery}));
}

TEST_F(UpdateProcedure, FirmwareClassCheckOffSwitchesOtherClassesWithoutSerialQuery) {
  sim::LoggerConfig config = loggerFor(12);
  config.appClass = 0x6602;
  config.classAfterRestart = 0x6601;
  startLogger(config);
  engine::RunOptions options;
  options.checkFirmwareClass = false;
  EXPECT_EQ(run(options).back(), (Event{0, 0}));
  const auto requests = logger_->requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), Request::SerialQuery), 0);
  EXPECT_EQ(std::count(requests.begin(), requests.end(), Request::BootloaderEntry), 1);
}

TEST_F(UpdateProcedure, FirstBootloaderGenerationNeedsNoInfoRecords) {
  sim::LoggerConfig config = loggerFor(1);
  config.bootloaderId = 0xC800;
  config.platform = config.print = 0;
  startLogger(config);
  const auto events = run();
  EXPECT_EQ(events.back(), (Event{0, 0}));
  const std::vector<Event> info = {withCode(events, 22)[0], withCode(events, 23)[0], withCode(events, 24)[0],
                                   withCode(events, 25)[0], withCode(events, 28)[0]};
  EXPECT_EQ(info, (std::vector<Event>{{22, 0}, {23, 0}, {24, 0}, {25, 0x6601}, {28, 0xFFFF}}));
  const auto requests = logger_->requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), Request::InfoRequest), 0);
  EXPECT_EQ(std::count(requests.begin(), requests.end(), Request::UpdateIdRequest), 0);
}

TEST_F(UpdateProcedure, IdentityBlockReplacesPlatformAndPrintOnlyWhenItChecksOut) {
  struct Case {
    const char* name;
    bool crcValid;
    std::uint16_t upidPrint;
    std::size_t platformEvents;
  };
  const Case cases[] = {{"valid", true, 53, 2}, {"bad CRC", false, 53, 1}, {"print FFFF", true, 0xFFFF, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::LoggerConfig config = loggerFor(12);
    config.upidCrcValid = c.crcValid;
    config.upidPrint = c.upidPrint;
    startLogger(config);
    const auto events = run(readInfoOnly());
    EXPECT_EQ(withCode(events, engine::kEvPlatform).size(), c.platformEvents);
    EXPECT_EQ(withCode(events, engine::kEvPrint).size(), c.platformEvents);
    logger_.reset();
  }
}

TEST_F(UpdateProcedure, UnknownPlatformSkipsTheUpdateIdRequest) {
  sim::LoggerConfig config = loggerFor(12);
  config.platform = 29;
  startLogger(config);
  const auto events = run();
  EXPECT_EQ(withCode(events, engine::kEvPlatform)[0].value, 0xFFFF);
  EXPECT_EQ(withCode(events, engine::kEvUpdateClass)[0].value, 0xFFFF);
  const auto requests = logger_->requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), Request::UpdateIdRequest), 0);
}

// ---- Image files ------------------------------------------------------------

// A run whose images are one loaded file: image 0, and nothing else.
class ImageFileRun : public EngineTest {
 protected:
  void useImage(std::vector<std::string> lines, images::ImageHeader header = images::builtInHeader(12)) {
    auto file = std::make_shared<images::ImageFile>();
    file->header = std::move(header);
    file->lines = std::move(lines);
    images_ = images::ImageSource(std::move(file));
  }
  std::vector<Event> runFile() {
    engine::RunRequest r = request();
    r.images = images_;
    return run(std::move(r));
  }
  static std::string withAddress(const std::string& line, std::uint8_t high, std::uint8_t low) {
    images::RecordBytes bytes{};
    EXPECT_TRUE(images::decodeRecord(line, bytes));
    bytes[images::kRecAddrHigh] = high;
    bytes[images::kRecAddrLow] = low;
    std::string text;
    EXPECT_TRUE(images::encodeRecord(bytes, text));
    return text;
  }
  std::size_t startRecords() const {
    const auto requests = logger_->requests();
    return static_cast<std::size_t>(std::count(requests.begin(), requests.end(), Request::StartRecord));
  }

  images::ImageSource images_;
};

TEST_F(ImageFileRun, OnlyTheFileIsCandidate) {
  startLogger(loggerFor(12));
  auto lines = dataLines(11);  // another image's lines under image 12's header
  lines.push_back(":00000001FF");
  images::ImageHeader header = images::builtInHeader(12);
  header.print = 49;  // matches no logger here
  useImage(lines, header);
  const auto events = runFile();
  EXPECT_EQ(withCode(events, engine::kEvCandidate), (std::vector<Event>{{27, 0}}));
  const auto candidates = eventsWithCode(lastRun_, engine::kEvCandidate);
  ASSERT_EQ(candidates.size(), 1u);
  EXPECT_EQ(candidates[0].image, header) << "the candidate event carries the file's own header";
  EXPECT_EQ(events.back(), (Event{10, 47}));
}

TEST_F(ImageFileRun, BadEndLineIsRefusedBeforeAnythingIsWritten) {
  const std::vector<std::vector<std::string>> images = {
      {":00000001FF"},                       // nothing but the end line
      {dataLines(12)[0], ":00000001ff"},     // lower case
      {dataLines(12)[0], ":00000001FF "},    // trailing blank
      {},                                    // empty
  };
  startLogger(loggerFor(12));
  for (const auto& lines : images) {
    useImage(lines);
    const auto events = runFile();
    EXPECT_EQ(events.back(), (Event{10, 42}));
    EXPECT_TRUE(withCode(events, engine::kEvProgramming).empty());
  }
  EXPECT_EQ(startRecords(), 0u);
}

TEST_F(ImageFileRun, UndecodableLineStopsWithItsIndex) {
  startLogger(loggerFor(12));
  auto lines = dataLines(12);
  lines[5].back() = lines[5].back() == '0' ? '1' : '0';  // checksum now wrong
  lines.push_back(":00000001FF");
  useImage(lines);
  const auto events = runFile();
  EXPECT_EQ(withCode(events, engine::kEvBadLine), (std::vector<Event>{{12, 5}}));
  EXPECT_EQ(events.back(), (Event{10, 43}));
  EXPECT_EQ(logger_->flashWrites().size(), 5u);
  EXPECT_TRUE(logger_->programmingOpen());
}

TEST_F(ImageFileRun, OtherRecordsAreNotSentButCountForProgress) {
  startLogger(loggerFor(12));
  auto lines = dataLines(12);
  images::RecordBytes short16{};
  short16[images::kRecCount] = 16;
  short16[images::kRecAddrHigh] = 0x02;
  short16[images::kRecAddrLow] = 0xC0;
  std::string shortLine;
  ASSERT_TRUE(images::encodeRecord(short16, shortLine));
  lines.insert(lines.begin() + 3, shortLine);
  lines.insert(lines.begin() + 4, ":020000040001F9");  // extended address record
  lines.push_back(":00000001FF");
  useImage(lines);
  EXPECT_EQ(runFile().back(), (Event{0, 0}));
  EXPECT_EQ(logger_->flashWrites().size(), dataLines(12).size());
}

TEST_F(ImageFileRun, SeveralVectorTableLinesAreAllSentLastInImageOrder) {
  startLogger(loggerFor(12));
  auto lines = dataLines(12);
  lines[10] = withAddress(lines[10], 0x03, 0xDF);
  const std::string first = lines[10];
  const std::string second = lines[47];
  lines.push_back(":00000001FF");
  useImage(lines);
  const auto events = runFile();
  EXPECT_EQ(events.back(), (Event{0, 0}));
  EXPECT_EQ(withCode(events, engine::kEvVectorTable), (std::vector<Event>{{40, 0}, {40, 0}, {40, 1}, {40, 1}}));
  const auto writes = logger_->flashWrites();
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[writes.size() - 2].line, first);
  EXPECT_EQ(writes.back().line, second);
}

// ---- The pinned-version rule -----------------------------------------------

sim::LoggerConfig pinnedLogger(std::uint32_t serial, std::uint16_t appVersion) {
  sim::LoggerConfig c = loggerFor(8);
  c.serialNumber = serial;
  c.appVersion = appVersion;
  return c;
}

TEST_F(UpdateProcedure, PinnedLoggersStayOnTheirVersion) {
  struct Case {
    std::uint32_t serial;
    std::uint16_t appVersion;
    int image;
  };
  const Case cases[] = {
      {328297, 0x0588, 8}, {328504, 0x0588, 8}, {328108, 0x0588, 8}, {328235, 0x0588, 8},
      {328296, 0x0588, 7}, {328505, 0x0588, 7}, {328225, 0x0588, 7},
      {328300, 0x0587, 7},  // pinned serial, but another application version
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.serial << " version " << c.appVersion);
    startLogger(pinnedLogger(c.serial, c.appVersion));
    EXPECT_EQ(run(readInfoOnly()).back(), (Event{10, 70}));
    EXPECT_EQ(chosenImage(lastRun_), c.image);
    logger_.reset();
  }
}

TEST_F(UpdateProcedure, PinnedRuleHoldsAcrossTheAutomaticRepeat) {
  // First attempt: the logger is switched, then its bootloader stays silent
  // until the attempt gives up; the repeat finds it in its bootloader. A
  // repeat is the same request again, its memory included; a fresh update
  // starts with a memory of its own.
  auto attemptOnSilentBootloader = [&](bool sameUpdate) -> int {
    startLogger(pinnedLogger(328300, 0x0588));
    logger_->injectFault({FaultKind::NoAnswer, Request::IdentityQuery, 1, 5});
    const engine::RunRequest first = request();
    EXPECT_EQ(run(first).back(), (Event{13, 0}));
    EXPECT_EQ(logger_->mode(), sim::Mode::Bootloader);
    EXPECT_EQ(run(sameUpdate ? first : request()).back(), (Event{0, 0}));
    const auto programming = eventsWithCode(lastRun_, engine::kEvProgramming);
    const int chosen = chosenImage(lastRun_);
    EXPECT_EQ(programming.size(), 1u);
    if (!programming.empty()) {
      EXPECT_EQ(programming[0].image, images::builtInHeader(chosen));
    }
    logger_.reset();
    return chosen;
  };
  EXPECT_EQ(attemptOnSilentBootloader(true), 8) << "the same update remembers";
  EXPECT_EQ(attemptOnSilentBootloader(false), 7) << "a fresh update has nothing to go by";
}

}  // namespace
}  // namespace zorvik::testing
