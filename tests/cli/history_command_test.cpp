// The update history as a technician meets it from the command line: what
// an update leaves in it (whose logger, who ran it, whether the image went
// out), where it may be kept, and how it is listed, against the simulated
// logger on a pseudo-terminal.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/simulated_logger.h"
#include "tests/cli/cli_runner.h"

namespace zorvik::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class HistoryCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder = (fs::temp_directory_path() / "zorvik-history-command-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    dir_ = folder;
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    db_ = (dir_ / "history.sqlite").string();
  }
  void TearDown() override {
    logger_.reset();
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void startLogger(sim::LoggerConfig config = {}) {
    logger_ = std::make_unique<sim::SimulatedLogger>(config);
    if (!logger_->start()) GTEST_SKIP() << "no pseudo-terminal available (needs /dev/ptmx)";
  }

  CliResult update(std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments{"--port", logger_->devicePath(), "--yes"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return runCliHere(arguments);
  }

  std::vector<std::string> jsonRows() {
    const CliResult r = runCliHere({"--history", "--json", "--history-db", db_});
    EXPECT_EQ(r.status, 0) << r.err;
    return linesOf(r.out);
  }

  fs::path dir_;
  std::string db_;
  std::unique_ptr<sim::SimulatedLogger> logger_;
};

// A logger found in its bootloader (an earlier update stopped half-way)
// tells its serial number only once restarted: the row still names it.
TEST_F(HistoryCommand, ALoggerFoundInItsBootloaderIsNamedByItsSerialNumber) {
  sim::LoggerConfig config;
  config.startInBootloader = true;
  config.serialNumber = 770011;
  startLogger(config);
  ASSERT_EQ(update({"--history-db", db_}).status, 0);
  const auto rows = jsonRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(has(rows[0], "\"serial\":770011,")) << rows[0];
  const CliResult listed = runCliHere({"--history", "--serial", "770011", "--history-db", db_});
  EXPECT_EQ(linesOf(listed.out).size(), 2u) << "found by its serial number: " << listed.out;
}

// Who ran it: --operator, else the login name of whoever runs the program.
TEST_F(HistoryCommand, EachRowNamesItsOperator) {
  startLogger();
  ASSERT_EQ(update({"--history-db", db_, "--operator", "Ana Ruiz"}).status, 0);
  ASSERT_EQ(update({"--history-db", db_}).status, 0);
  const auto rows = jsonRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(has(rows[1], "\"operator\":\"Ana Ruiz\"")) << rows[1];
  EXPECT_FALSE(has(rows[0], "\"operator\":null")) << "the login name stands in: " << rows[0];
  const CliResult table = runCliHere({"--history", "--history-db", db_});
  EXPECT_TRUE(has(linesOf(table.out).at(0), "Operator")) << table.out;
  EXPECT_TRUE(has(linesOf(table.out).at(0), "Result text")) << table.out;
  EXPECT_TRUE(has(table.out, "Update ZorvikB V6.26 succesfully completed.")) << table.out;
}

// The restarted logger reports another class: the update fails, but the
// logger runs the new image, and its row says so beside the specified final
// message.
TEST_F(HistoryCommand, AFailureAfterTheWholeImageWentOutSaysTheImageWasSent) {
  sim::LoggerConfig config;
  config.classAfterRestart = 0x6602;
  startLogger(config);
  const CliResult r = update({"--history-db", db_, "--max-repeats", "0"});
  ASSERT_NE(r.status, 0) << r.out;
  ASSERT_EQ(logger_->restarts(), 1) << "the end record went out";
  const auto rows = jsonRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(has(rows[0], "\"imageSent\":true")) << rows[0];
  const CliResult table = runCliHere({"--history", "--history-db", db_});
  EXPECT_TRUE(has(table.out, "(image fully sent)")) << table.out;
}

// A failed update that never sent its image must not read as if the logger
// had the new version.
TEST_F(HistoryCommand, AFailedUpdateDoesNotShowTheImageVersionAsWritten) {
  startLogger();
  logger_->injectFault({sim::FaultKind::NoAnswer, sim::Request::DataLine, 5, 1000});
  ASSERT_NE(update({"--history-db", db_, "--max-repeats", "0"}).status, 0);
  const CliResult table = runCliHere({"--history", "--history-db", db_});
  const auto lines = linesOf(table.out);
  ASSERT_EQ(lines.size(), 2u) << table.out;
  EXPECT_TRUE(has(lines[1], "6.26 (6.26 not written)")) << lines[1];
  EXPECT_FALSE(has(lines[1], "\u2192")) << lines[1];
  EXPECT_TRUE(has(jsonRows().at(0), "\"imageSent\":false"));
}

// Where a history may be kept: a regular file, or a new one in a folder the
// user may write. Anything else is refused before the update, which goes on
// without a record and says why.
TEST_F(HistoryCommand, OnlyARegularFileIsTakenAsTheHistory) {
  startLogger();
  fs::create_directories(dir_ / "folder");
  const struct {
    const char* what;
    std::string path;
  } cases[] = {
      {"a device", "/dev/null"},
      {"a folder", (dir_ / "folder").string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CliResult r = update({"--history-db", c.path});
    EXPECT_EQ(r.status, 0) << "the update goes on";
    EXPECT_TRUE(has(r.out + r.err, "not a regular file")) << r.out << r.err;
  }
  EXPECT_FALSE(fs::exists("/dev/null-journal"));
  EXPECT_FALSE(fs::exists("/dev/null-wal"));
  EXPECT_TRUE(fs::is_empty(dir_ / "folder"));
}

TEST_F(HistoryCommand, NoHistoryRecordsNothing) {
  startLogger();
  const CliResult r = update({"--no-history"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(has(r.out, "history")) << r.out;
  EXPECT_FALSE(fs::exists(dir_ / "data")) << "nothing made at the default place";
  EXPECT_EQ(update({"--no-history", "--history-db", db_}).status, 2);
  EXPECT_EQ(update({"--no-history", "--operator", "x"}).status, 2);
}

// Listing only reads: a mistyped --history-db is an error, not an empty
// history made on the spot, and the default place stays as it was.
TEST_F(HistoryCommand, ListingNeverCreatesAHistory) {
  const std::string missing = (dir_ / "hsitory.sqlite").string();
  const CliResult named = runCliHere({"--history", "--history-db", missing});
  EXPECT_EQ(named.status, 1);
  EXPECT_TRUE(has(named.err, "no update history at \"" + missing + "\"")) << named.err;
  EXPECT_FALSE(fs::exists(missing));

  const CliResult byDefault = runCliHere({"--history"});
  EXPECT_EQ(byDefault.status, 0) << byDefault.err;
  EXPECT_FALSE(fs::exists(dir_ / "data")) << "the default place was made";
  const CliResult json = runCliHere({"--history", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out, "") << "no rows, no lines";
}

// "-" is standard output, as for every other tool; the file "-" is not made.
TEST_F(HistoryCommand, CsvToStandardOutput) {
  startLogger();
  ASSERT_EQ(update({"--history-db", db_}).status, 0);
  const fs::path here = fs::current_path();
  fs::current_path(dir_);
  const CliResult r = runCliHere({"--history", "--csv", "-", "--history-db", db_});
  fs::current_path(here);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = linesOf(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_TRUE(has(lines[0], "serial")) << lines[0];
  EXPECT_TRUE(has(lines[1], "100200")) << lines[1];
  EXPECT_FALSE(fs::exists(dir_ / "-"));
}

}  // namespace
}  // namespace zorvik::testing
