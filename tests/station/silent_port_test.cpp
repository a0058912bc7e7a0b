// A station link to a port where no logger ever answers (a wrong port that
// exists): the unit fails after a few runs instead of holding its port and
// repeating for good, while a logger beside it is updated.
#include "sim/logger_for_image.h"
#include "tests/support/silent_pty.h"
#include "tests/station/station_harness.h"

namespace zorvik::testing {
namespace {

TEST_F(StationTest, AUnitWhosePortNeverAnswersFailsAfterThreeRuns) {
  SilentPty pty;
  ASSERT_FALSE(pty.path().empty());
  begin(setup());
  fs::create_symlink(pty.path(), watchDir() / "wrong");
  plug(logger(sim::loggerFor(12)), "good");
  ASSERT_TRUE(runUntil([&] { return view.results.size() == 2; }, 30s)) << "the silent unit repeats for good";
  const auto& wrong = view.results[0].link == "wrong" ? view.results[0] : view.results[1];
  const auto& good = view.results[0].link == "wrong" ? view.results[1] : view.results[0];
  EXPECT_TRUE(good.pass);
  EXPECT_FALSE(wrong.pass);
  EXPECT_EQ(wrong.code, engine::errorValue(engine::ErrorCode::NoAnswer));
  EXPECT_EQ(wrong.repeats, 2);
  EXPECT_EQ(wrong.text, "Update failed: no answer from the logger after 3 runs.");
  EXPECT_EQ(view.explained[wrong.unit], 1) << "the port named as the cause, once";
}

}  // namespace
}  // namespace zorvik::testing
