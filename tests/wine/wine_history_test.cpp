// The update history of the Windows command line, under Wine: the rows its
// vendored SQLite writes, listed by its own --history and read by the Linux
// store, so that a Windows technician keeps the same record, in the same
// file format, as a Linux one.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>  // setenv, unsetenv
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "history/history_support.h"
#include "history/sqlite_history.h"
#include "images/catalogue.h"
#include "images/sending_order.h"
#include "sim/simulated_logger.h"
#include "tests/history/json_reader.h"
#include "tests/wine/wine_session.h"

namespace zorvik::wine {
namespace {

namespace fs = std::filesystem;
using history::testing::JsonObject;
using history::testing::JsonReader;

const std::uint32_t kSerial = sim::LoggerConfig{}.serialNumber;
constexpr const char* kSuccess = "Update ZorvikB V6.26 succesfully completed.";

// The image the simulator's defaults get (12), hashed as the Linux build
// hashes it: the Windows build's own SHA-256 must give the same digest.
std::string linuxDigestOfImage12() { return history::imageDigest(images::sendingOrder(images::ImageSource{}, 12)); }

// The lines of a --history --json listing, each one object.
std::vector<JsonObject> objectsOf(const std::string& out) {
  std::vector<JsonObject> objects;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const auto object = JsonReader::object(line);
    EXPECT_TRUE(object.has_value()) << "not one JSON object: " << line;
    if (object) objects.push_back(*object);
  }
  return objects;
}

std::string field(const JsonObject& object, const std::string& key) {
  const auto it = object.find(key);
  return it == object.end() ? "<no " + key + ">" : it->second.text;
}

// Sets one variable of this process, and so of the programs it starts, for
// one scope.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class WineHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(ZORVIK_WINE_OUTPUT_DIR) /
              ("history-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  void startLogger(const sim::LoggerConfig& config = {}) {
    logger_ = std::make_unique<sim::SimulatedLogger>(config);
    if (!logger_->start()) GTEST_SKIP() << "no pseudo-terminal available";
    wine_.mapPort("COM5", logger_->devicePath());
  }

  // The Windows build with its %LOCALAPPDATA% at `folder`. Wine builds that
  // variable from the prefix's user profile, whatever the Unix one says, so
  // a cmd sets it for the updater, as a user would in a console.
  RunResult runWithLocalAppData(const fs::path& folder, const std::vector<std::string>& arguments) {
    std::vector<std::string> command{"cmd", "/c", "set", "LOCALAPPDATA=" + windowsPath(folder.string()), "&&",
                                     windowsPath(ZORVIK_WINDOWS_EXE)};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return wine_.run(command);
  }

  // --history --json of the Windows build on the file `db`.
  std::vector<JsonObject> listing(const std::string& db, const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments{"--history", "--json", "--history-db", db};
    arguments.insert(arguments.end(), more.begin(), more.end());
    const RunResult r = wine_.runUpdater(arguments);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return objectsOf(r.out);
  }

  WineSession wine_;
  std::unique_ptr<sim::SimulatedLogger> logger_;
  fs::path folder_;
};

TEST_F(WineHistory, AnUpdateIsRecordedAndListedByTheWindowsBuild) {
  startLogger();
  if (IsSkipped()) return;
  const std::string db = windowsPath((folder_ / "history.sqlite").string());
  const RunResult update = wine_.runUpdater({"--port", "COM5", "--yes", "--history-db", db});
  ASSERT_EQ(update.status, 0) << update.out << update.err;
  EXPECT_EQ(update.out.find("The update history cannot be kept"), std::string::npos) << update.out;

  const auto all = listing(db);
  ASSERT_EQ(all.size(), 1u);
  const JsonObject& row = all[0];
  EXPECT_EQ(field(row, "state"), "finished");
  EXPECT_EQ(field(row, "frontEnd"), "cli");
  EXPECT_EQ(field(row, "port"), "COM5");
  EXPECT_EQ(field(row, "serial"), std::to_string(kSerial));
  EXPECT_EQ(field(row, "resultCode"), "0");
  EXPECT_EQ(field(row, "resultText"), kSuccess);
  EXPECT_EQ(field(row, "imageVersion"), "6.26");
  EXPECT_EQ(field(row, "imageSha256"), linuxDigestOfImage12());
  EXPECT_NE(field(row, "host"), "") << "the machine's name";

  struct SerialCase {
    const char* name;
    std::uint32_t serial;
    std::size_t rows;
  };
  const SerialCase bySerial[] = {{"this logger", kSerial, 1}, {"another logger", kSerial + 1, 0}};
  for (const auto& c : bySerial) {
    SCOPED_TRACE(c.name);
    const auto rows = listing(db, {"--serial", std::to_string(c.serial)});
    ASSERT_EQ(rows.size(), c.rows);
    if (c.rows == 1) {
      EXPECT_EQ(field(rows[0], "id"), field(row, "id"));
    }
  }
}

// Without --history-db the row goes under %LOCALAPPDATA%, in a folder whose
// name is no plain ASCII (as user profiles often are): UTF-8 all the way to
// the file system, where a narrow Windows call would read it as ANSI.
TEST_F(WineHistory, TheDefaultPlaceIsUnderLocalAppData) {
  startLogger();
  if (IsSkipped()) return;
  const fs::path appData = folder_ / "Jürgen AppData";
  // Wine reads the command line's bytes in the locale's character set.
  const ScopedVariable utf8("LC_ALL", "C.UTF-8");

  const RunResult update = runWithLocalAppData(appData, {"--port", "COM5", "--yes"});
  ASSERT_EQ(update.status, 0) << update.out << update.err;
  EXPECT_EQ(update.out.find("The update history cannot be kept"), std::string::npos) << update.out;

  const fs::path file = appData / "zorvik-updater" / "history.sqlite";
  ASSERT_TRUE(fs::exists(file)) << "nothing at " << file;
  history::SqliteHistory store(file.string());  // the Linux store reads the Windows file
  const auto rows = store.rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, history::RowState::Finished);
  EXPECT_EQ(rows[0].start.frontEnd, "cli");
  ASSERT_TRUE(rows[0].end.has_value());
  EXPECT_EQ(rows[0].serialNumber, kSerial);
  EXPECT_EQ(rows[0].end->imageSha256, linuxDigestOfImage12());

  const RunResult listed = runWithLocalAppData(appData, {"--history", "--json"});
  EXPECT_EQ(listed.status, 0) << listed.out << listed.err;
  const auto objects = objectsOf(listed.out);
  ASSERT_EQ(objects.size(), 1u) << "--history reads the same default place";
  EXPECT_EQ(field(objects[0], "id"), std::to_string(rows[0].id));
}

// The row of an update under way is "running" while its process lives and
// "interrupted" once it was killed: the Windows build asks the system about
// the process that wrote it, pid and creation time.
TEST_F(WineHistory, AKilledUpdateIsRunningWhileItLivesThenInterrupted) {
  sim::LoggerConfig paced;
  paced.wireTiming = true;  // minutes of programming: time to look and to kill
  startLogger(paced);
  if (IsSkipped()) return;
  const std::string db = windowsPath((folder_ / "history.sqlite").string());
  Child updater = wine_.startUpdater({"--port", "COM5", "--yes", "--history-db", db});
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (logger_->flashWrites().empty() && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_FALSE(logger_->flashWrites().empty()) << "programming never started";

  const auto during = listing(db);
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(field(during[0], "state"), "running");

  updater.signal(SIGKILL);
  updater.wait(std::chrono::seconds(30));
  const auto after = listing(db);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(field(after[0], "state"), "interrupted");
  ASSERT_EQ(after[0].count("resultCode"), 1u);
  EXPECT_EQ(after[0].at("resultCode").kind, history::testing::JsonValue::Kind::Null) << "no result: it never ended";
}

}  // namespace
}  // namespace zorvik::wine
