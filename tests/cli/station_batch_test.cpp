// What a production engineer keeps of a batch: loggers already current left
// as they are (--skip-current), and a results file beside the history
// (--results-csv) that an earlier batch's results survive.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/update_error.h"
#include "history/sqlite_history.h"
#include "sim/logger_for_image.h"
#include "sim/simulated_logger.h"
#include "tests/cli/station_fixture.h"

namespace zorvik::testing {
namespace {

std::vector<std::string> fileLines(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> found;
  for (std::string line; std::getline(in, line);) found.push_back(line);
  return found;
}

std::size_t requestsOf(const sim::SimulatedLogger& l, sim::Request kind) {
  const auto r = l.requests();
  return static_cast<std::size_t>(std::count(r.begin(), r.end(), kind));
}

// Three loggers: one running the newest image of its class, one an older
// version on the same platform, and one whose platform holds it at an older
// image it already runs. Only the first is current for certain before its
// bootloader is entered; the other two are updated as without the switch.
TEST_F(StationTest, SkipCurrentLeavesOnlyALoggerOnTheNewestImageAsItIs) {
  const fs::path csv = dir_ / "batch.csv";
  std::ofstream(csv, std::ios::binary) << "earlier batch's header\r\nearlier batch's record\r\n";
  startStation({"--yes", "--json", "--skip-current", "--results-csv", csv.string()});

  sim::LoggerConfig current = sim::loggerFor(12);  // 6.26, the newest there is
  current.serialNumber = 700001;
  sim::LoggerConfig older = sim::loggerFor(12);
  older.appVersion = 0x0614;  // 6.20 on the platform that gets 6.26
  older.serialNumber = 700002;
  sim::LoggerConfig heldBack = sim::loggerFor(5);  // 5.42, all its platform takes
  heldBack.serialNumber = 700003;
  const sim::LoggerConfig configs[] = {current, older, heldBack};
  for (std::size_t i = 0; i < std::size(configs); ++i) {
    plug(logger(configs[i]), "unit" + std::to_string(i));
    ASSERT_TRUE(waitFor([&] { return results() == i + 1; })) << out_.text();
  }
  stop();
  EXPECT_EQ(status_, 0);

  const auto result = lines("result");
  ASSERT_EQ(result.size(), 3u);
  EXPECT_EQ(field(result[0], "result"), "PASS") << result[0];
  EXPECT_EQ(field(result[0], "text"), "already current");
  EXPECT_EQ(field(result[0], "imageVersion"), "-") << "nothing was written";
  EXPECT_EQ(field(result[0], "code"), std::to_string(engine::errorValue(engine::ErrorCode::AlreadyCurrent)));
  EXPECT_EQ(requestsOf(*loggers_[0], sim::Request::BootloaderEntry), 0u) << "still in its application, nothing erased";
  EXPECT_EQ(loggers_[0]->restarts(), 0);
  EXPECT_TRUE(loggers_[0]->flashWrites().empty());
  for (std::size_t i = 1; i < 3; ++i) {
    SCOPED_TRACE(result[i]);
    EXPECT_EQ(field(result[i], "result"), "PASS");
    EXPECT_EQ(field(result[i], "code"), "0");
    EXPECT_EQ(loggers_[i]->restarts(), 1) << "updated";
  }
  EXPECT_EQ(field(result[1], "imageVersion"), "6.26");
  EXPECT_EQ(field(result[2], "imageVersion"), "5.42");
  const auto counters = lines("counters");
  ASSERT_FALSE(counters.empty());
  EXPECT_EQ(field(counters.back(), "passed"), "3");
  EXPECT_EQ(field(counters.back(), "alreadyCurrent"), "1");
  EXPECT_EQ(field(counters.back(), "failed"), "0");

  // The history: the current logger passed without an image chosen.
  auto rows = history::SqliteHistory(historyFile().string()).rows();
  ASSERT_EQ(rows.size(), 3u);
  const history::UpdateRow& first = rows.back();
  ASSERT_TRUE(first.end.has_value());
  EXPECT_EQ(first.serialNumber, 700001u);
  EXPECT_EQ(first.end->resultText, "already current");
  EXPECT_FALSE(first.end->imageChosen);
  std::ostringstream table;
  std::ostringstream err;
  std::istringstream in;
  cli::CliIo io(table, err, in);
  ASSERT_EQ(cli::runCli({"--history", "--history-db", historyFile().string(), "--serial", "700001"}, io), 0) << err.str();
  EXPECT_NE(table.str().find("PASS"), std::string::npos) << table.str();
  EXPECT_NE(table.str().find("already current"), std::string::npos) << table.str();

  // The results file: the earlier batch untouched, then one record per unit.
  const auto records = fileLines(csv);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0], "earlier batch's header\r");
  EXPECT_EQ(records[1], "earlier batch's record\r");
  const char* const expected[] = {",PASS,unit0,,700001,6.26,-,", ",PASS,unit1,,700002,6.20,6.26,",
                                  ",PASS,unit2,,700003,5.42,5.42,"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NE(records[i + 2].find(expected[i]), std::string::npos) << records[i + 2];
    EXPECT_EQ(records[i + 2].substr(0, 2), "20") << "a UTC time first: " << records[i + 2];
  }
  EXPECT_NE(records[2].find(",71,already current\r"), std::string::npos) << records[2];
}

TEST_F(StationTest, ANewResultsFileStartsWithItsHeaderAndAFolderIsRefused) {
  const fs::path csv = dir_ / "new.csv";
  startStation({"--yes", "--results-csv", csv.string()});
  plug(logger(sim::loggerFor(12)), "unit0");
  ASSERT_TRUE(waitFor([&] { return fileLines(csv).size() == 2; })) << err_.text() << out_.text();
  stop();
  const auto records = fileLines(csv);
  EXPECT_EQ(records[0], "utc,result,port,adapter,serial,versionBefore,imageVersion,durationMs,repeats,code,text\r");
  EXPECT_NE(records[1].find(",PASS,unit0,,100200,6.26,6.26,"), std::string::npos) << records[1];
  EXPECT_NE(records[1].find(",0,Update ZorvikB V6.26 succesfully completed.\r"), std::string::npos) << records[1];

  freshInterrupt();
  startStation({"--yes", "--results-csv", dir_.string()});
  station_.join();
  EXPECT_EQ(status_, 1);
  EXPECT_NE(err_.text().find("cannot write the results file \"" + dir_.string() + "\": not a regular file"),
            std::string::npos)
      << err_.text();
}

}  // namespace
}  // namespace zorvik::testing
