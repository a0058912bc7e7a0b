// Several loggers updated at once from one process, as a station with four
// ports does it: every run has its own port, images, rules, cancel and sink,
// and nothing of one run may show up in another. Run under ThreadSanitizer
// too (scripts/sanitizers.sh).
#include <unistd.h>

#include <filesystem>

#include "engine/event_texts.h"
#include "engine/run_handle.h"
#include "images/identity_tables.h"
#include "images/image_file.h"
#include "images/version_text.h"
#include "tests/engine/engine_fixture.h"

namespace zorvik::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kRunLimit = 300s;
// A valid class that no built-in image has.
constexpr std::uint16_t kOtherUpdateClass = 26114;

// One logger of the station and the run that updates it.
struct Station {
  int image;                 // the built-in image the logger is set up for
  bool fromFile;             // updated from that image written to a file
  images::ImageHeader expected;      // the header every image event must name
  std::unique_ptr<sim::SimulatedLogger> logger;
  std::shared_ptr<HoldingSink> sink;
  engine::RunRequest request;
  std::unique_ptr<engine::RunHandle> handle;
};

// "Update <class> V<major>.<minor, two digits> succesfully completed."
std::string successText(const images::ImageHeader& h) {
  return "Update " + images::className(h.deviceClass, h.print) + " V" + images::versionText(h.versionHigh, h.versionLow) +
         " succesfully completed.";
}

class ConcurrentUpdates : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = ptyUnavailableReason(); !why.empty()) GTEST_SKIP() << why;
    dir_ = std::filesystem::path(::testing::TempDir()) / ("concurrent_updates_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    // Every run ends before its logger goes away.
    for (auto& s : stations_) s.handle.reset();
    stations_.clear();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Built-in image `image` as an image file, loaded and checked as a front
  // end does before it starts a run.
  std::shared_ptr<const images::ImageFile> imageFile(int image) {
    const images::ImageSource builtIn;
    std::vector<std::string> lines;
    for (int i = 0; i <= builtIn.lastLine(image); ++i) lines.emplace_back(builtIn.line(image, i));
    const std::string path = (dir_ / ("image" + std::to_string(image) + ".txt")).string();
    writeImageFile(path, images::builtInHeader(image), lines);
    images::CheckedImageFile checked = images::loadCheckedImageFile(path);
    EXPECT_EQ(checked.load, images::ImageLoadResult::Loaded);
    EXPECT_EQ(checked.lines.result, images::ImageLinesCheck::Ok);
    return checked.file;
  }

  // Loggers for images 1, 5, 8 and 12. The image-5 logger is updated from a
  // file, and its update identity names another class, so only a run with
  // the class check off takes the image: it succeeds only if its own rules
  // hold for it while the other three keep the check. The run of image
  // `holdAt` is held once its logger has about 20 lines of the image, the
  // others are never held.
  void setUpStations(int holdAt = 0) {
    for (int image : {1, 5, 8, 12}) {
      Station s;
      s.image = image;
      s.fromFile = image == 5;
      s.expected = images::builtInHeader(image);
      sim::LoggerConfig config = loggerFor(image);
      if (s.fromFile) config.upidClass = kOtherUpdateClass;
      s.logger = std::make_unique<sim::SimulatedLogger>(config);
      ASSERT_TRUE(s.logger->start());
      if (image == holdAt) {
        const sim::SimulatedLogger* logger = s.logger.get();
        s.sink = std::make_shared<HoldingSink>([logger](const engine::RunEvent& e) {
          return e.code == engine::kEvProgress && logger->flashWrites().size() >= 20;
        });
      } else {
        s.sink = std::make_shared<HoldingSink>();
      }
      s.request.port = s.logger->devicePath();
      s.request.sleeper = std::make_shared<link::NoPauses>();
      if (s.fromFile) {
        auto file = imageFile(image);
        ASSERT_NE(file, nullptr);
        s.request.images = images::ImageSource(file);
        s.request.options.checkClass = false;
      }
      stations_.push_back(std::move(s));
    }
  }

  void startAll() {
    for (auto& s : stations_) s.handle = std::make_unique<engine::RunHandle>(s.request, s.sink);
  }

  void waitForAll() {
    for (auto& s : stations_) {
      SCOPED_TRACE(::testing::Message() << "image " << s.image);
      EXPECT_TRUE(s.handle->waitFor(kRunLimit));
    }
  }

  Station& station(int image) {
    for (auto& s : stations_) {
      if (s.image == image) return s;
    }
    throw std::logic_error("no station for image " + std::to_string(image));
  }

  // A run that updated its logger with its own image, and reported only that.
  static void expectOwnUpdate(const Station& s) {
    SCOPED_TRACE(::testing::Message() << "image " << s.image << (s.fromFile ? " from a file" : ""));
    const auto events = s.sink->runEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(s.sink->events().back(), (Event{0, 0}));
    EXPECT_EQ(s.sink->finalCount(), 1);
    EXPECT_EQ(writtenLines(*s.logger), flashOrder(images::ImageSource(), s.image));
    EXPECT_EQ(s.logger->restarts(), 1);

    const auto programming = eventsWithCode(events, engine::kEvProgramming);
    ASSERT_EQ(programming.size(), 1u);
    EXPECT_EQ(programming[0].image, s.expected);
    EXPECT_EQ(events.back().image, s.expected) << "the success event names another image";
    for (const auto& candidate : eventsWithCode(events, engine::kEvCandidate)) {
      EXPECT_EQ(candidate.image, s.request.images.header(candidate.value)) << "candidate " << candidate.value;
    }
    if (s.fromFile) {
      EXPECT_EQ(eventsWithCode(events, engine::kEvCandidate).size(), 1u) << "a file run has the file as its only candidate";
      const auto updateClass = eventsWithCode(events, engine::kEvUpdateClass);
      ASSERT_FALSE(updateClass.empty());
      EXPECT_EQ(updateClass[0].value, kOtherUpdateClass) << "the logger must name another class, or the check proves nothing";
    }
    EXPECT_EQ(engine::presentEvent(events.back(), s.request.port).text, successText(s.expected));
  }

  std::filesystem::path dir_;
  std::vector<Station> stations_;
};

TEST_F(ConcurrentUpdates, FourLoggersEachGetTheirOwnImage) {
  ASSERT_NO_FATAL_FAILURE(setUpStations());
  startAll();
  waitForAll();
  for (const auto& s : stations_) expectOwnUpdate(s);
}

TEST_F(ConcurrentUpdates, CancellingOneRunLeavesTheOthersAlone) {
  ASSERT_NO_FATAL_FAILURE(setUpStations(8));
  startAll();
  Station& cancelled = station(8);
  const bool held = cancelled.sink->waitUntilHeld(kRunLimit);
  cancelled.handle->cancel();  // from this thread, while the others run on
  cancelled.sink->release();
  ASSERT_TRUE(held) << "the run never got into its image";
  waitForAll();

  EXPECT_EQ(cancelled.sink->events().back(), (Event{10, 20}));
  EXPECT_EQ(cancelled.sink->finalCount(), 1);
  EXPECT_GE(cancelled.logger->flashWrites().size(), 20u);
  EXPECT_LT(cancelled.logger->flashWrites().size(), static_cast<std::size_t>(images::ImageSource().lastLine(8)));
  EXPECT_EQ(cancelled.logger->restarts(), 0);
  for (const auto& s : stations_) {
    if (&s != &cancelled) expectOwnUpdate(s);
  }
}

}  // namespace
}  // namespace zorvik::testing
