// Shared pieces of the history tests: a private folder per test, rows with a
// distinct value in every field (so that two swapped columns cannot pass),
// and SQLite opened directly, behind the store's back, to build old and
// foreign files and to look at what the store wrote.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "history/history_support.h"
#include "history/update_history.h"

namespace zorvik::history::testing {

namespace fs = std::filesystem;

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() /
              ("zorvik-history-" + std::to_string(::getpid()) + "-" + test->test_suite_name() + "-" + test->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }

  std::string file(const std::string& name = "history.sqlite") const { return (folder_ / name).string(); }

  fs::path folder_;
};

inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A connection of our own, for what the store must not be trusted with.
class RawDatabase {
 public:
  explicit RawDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(db);
    if (rc != SQLITE_OK) ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errstr(rc);
  }

  // Runs constant test SQL; false (with the message recorded) on an error.
  bool execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    ADD_FAILURE() << sql << ": " << (message != nullptr ? message : "?");
    sqlite3_free(message);
    return false;
  }

  // The first column of the first row as text; "<none>" without a row.
  std::string text(const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_.get());
      return "<error>";
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    const int rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? "<none>" : std::string("<") + sqlite3_errmsg(db_.get()) + ">";
    const unsigned char* value = sqlite3_column_text(raw, 0);
    return value != nullptr ? reinterpret_cast<const char*>(value) : "<null>";
  }

 private:
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_{nullptr, sqlite3_close};
};

// Start and end of update n, every field set, no two fields of one row alike.
inline UpdateStart sampleStart(int n, std::int64_t pid) {
  UpdateStart s;
  s.startUtc = "2026-12-10T13:10:" + std::to_string(10 + n) + ".123Z";
  s.host = hostName();  // this machine: whether the row is open can be told
  s.pid = pid;
  s.port = "/dev/ttyUSB" + std::to_string(n);
  s.adapterSerial = "FT" + std::to_string(4000 + n);
  s.frontEnd = "station";
  return s;
}

// Above INT32_MAX: no 32-bit column.
inline std::uint32_t sampleSerial(int n) { return 4000000000u + static_cast<std::uint32_t>(n); }

inline UpdateEnd sampleEnd(int n) {
  UpdateEnd e;
  e.deviceClass = 0x6601;
  e.appVersionBefore = 0x0614;
  e.imageChosen = true;
  e.imageVersionHigh = 6;
  e.imageVersionLow = 26;
  e.imagePrint = 3;
  e.imageBootloader = 2;
  e.imageBootloaderVersion = 5;
  e.imageSha256 = "b98dd842ca79d3926e5f115c1d1a8d55183ad2d17e206b78b31a246b67b1e0a4";
  e.resultCode = n % 2 == 0 ? 0 : 30;
  e.resultText = "result of update " + std::to_string(n);
  e.repeats = 2;
  e.durationMs = 5'000'000'000LL + n;  // above INT32_MAX milliseconds as well
  return e;
}

}  // namespace zorvik::history::testing
