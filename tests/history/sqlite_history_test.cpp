// The SQLite store: what goes in comes out, in the right order, from several
// writers at once; old files are brought up to date, files it cannot write
// are refused with an error and left as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "history/history_support.h"
#include "history/sqlite_history.h"
#include "tests/history/history_fixture.h"

namespace zorvik::history::testing {
namespace {

using SqliteHistoryTest = TempFolder;

// Every field different from its default and from every other field, texts
// with what string-built SQL or a C-string copy would break on.
UpdateStart fullStart() {
  UpdateStart s;
  s.startUtc = "2026-12-10T13:10:55.123Z";
  s.host = hostName();
  s.pid = ::getpid();
  s.port = "/dev/ttyUSB0'); DROP TABLE updates; --";
  s.adapterSerial = "FT6Z0K\xC3\x9C";  // a UTF-8 letter
  s.frontEnd = "cli";
  return s;
}

UpdateEnd fullEnd() {
  UpdateEnd e;
  e.deviceClass = 0xFFFE;
  e.appVersionBefore = 0x0588;
  e.imageChosen = true;
  e.imageVersionHigh = 6;
  e.imageVersionLow = 26;
  e.imagePrint = 7;
  e.imageBootloader = 2;
  e.imageBootloaderVersion = 11;
  e.imageSha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
  e.resultCode = 70;
  e.resultText = std::string("echo differed,\n\"line\" 12\0tail", 30);  // embedded zero byte kept
  e.imageSent = true;
  e.repeats = 3;
  e.durationMs = 9'876'543'210LL;
  return e;
}

TEST_F(SqliteHistoryTest, RoundTripKeepsEveryFieldAcrossReopening) {
  std::int64_t finished = 0;
  std::int64_t open = 0;
  {
    SqliteHistory history(file());
    finished = history.updateStarted(fullStart());
    history.serialNumberRead(finished, 4294967294u);
    history.updateEnded(finished, fullEnd());
    open = history.updateStarted(sampleStart(1, ::getpid()));
  }
  SqliteHistory reopened(file());
  const std::vector<UpdateRow> rows = reopened.rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], (UpdateRow{finished, fullStart(), fullEnd(), RowState::Finished, 4294967294u}));
  // The open row belongs to this living process; no serial number was read: none, not 0.
  EXPECT_EQ(rows[0], (UpdateRow{open, sampleStart(1, ::getpid()), std::nullopt, RowState::Running, std::nullopt}));
}

TEST_F(SqliteHistoryTest, NewestFirstAndOnlyTheAskedSerialNumber) {
  SqliteHistory history(file());
  const std::vector<std::uint32_t> serials = {111, 222, 111, 333, 111};
  std::vector<std::int64_t> ids;
  for (std::size_t i = 0; i < serials.size(); ++i) {
    ids.push_back(history.updateStarted(sampleStart(static_cast<int>(i), ::getpid())));
    history.serialNumberRead(ids.back(), serials[i]);
    history.updateEnded(ids.back(), sampleEnd(static_cast<int>(i)));
  }
  const std::int64_t running = history.updateStarted(sampleStart(9, ::getpid()));
  const std::int64_t killed = history.updateStarted(sampleStart(10, ::getpid()));
  history.serialNumberRead(killed, 333);  // a row without an end already names its logger

  const auto idsOf = [](const std::vector<UpdateRow>& rows) {
    std::vector<std::int64_t> out;
    for (const auto& row : rows) out.push_back(row.id);
    return out;
  };
  EXPECT_EQ(idsOf(history.rows()),
            (std::vector<std::int64_t>{killed, running, ids[4], ids[3], ids[2], ids[1], ids[0]}));
  EXPECT_EQ(idsOf(history.rows(111)), (std::vector<std::int64_t>{ids[4], ids[2], ids[0]}));
  EXPECT_EQ(idsOf(history.rows(333)), (std::vector<std::int64_t>{killed, ids[3]}));
  EXPECT_TRUE(history.rows(444).empty());
  // A serial number is compared as a whole: 111 is not a prefix match of 1110.
  EXPECT_TRUE(history.rows(11).empty());
}

TEST_F(SqliteHistoryTest, EndingARowTwiceOrANonexistentRowIsAnError) {
  SqliteHistory history(file());
  const std::int64_t id = history.updateStarted(sampleStart(1, ::getpid()));
  history.updateEnded(id, sampleEnd(1));
  UpdateEnd second = sampleEnd(2);
  EXPECT_THROW(history.updateEnded(id, second), HistoryError);
  EXPECT_THROW(history.updateEnded(id + 1000, second), HistoryError);
  // The first end stays.
  ASSERT_EQ(history.rows().size(), 1u);
  EXPECT_EQ(history.rows()[0].end, sampleEnd(1));
}

TEST_F(SqliteHistoryTest, NewFileRunsInWalModeWithTheCurrentLayoutVersion) {
  const std::string path = file("a/b/c/history.sqlite");  // folders created on the way
  { SqliteHistory history(path); }
  RawDatabase raw(path);
  EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw.text("PRAGMA user_version"), std::to_string(SqliteHistory::kSchemaVersion));
  EXPECT_EQ(raw.text("PRAGMA integrity_check"), "ok");
}

// Two processes (here two connections in two threads) open a new file at the
// same moment and write as fast as they can: both create and migrate it, the
// writes wait for each other instead of failing, and no row is lost.
TEST_F(SqliteHistoryTest, TwoConnectionsWritingAtOnceLoseNothing) {
  constexpr int kRowsEach = 100;
  std::latch start(2);
  std::vector<std::string> errors(2);
  const auto writer = [&](int w) {
    try {
      start.arrive_and_wait();
      SqliteHistory history(file());
      for (int i = 0; i < kRowsEach; ++i) {
        UpdateStart s = sampleStart(i, ::getpid());
        s.port = "writer" + std::to_string(w) + "-" + std::to_string(i);
        const std::int64_t id = history.updateStarted(s);
        history.updateEnded(id, sampleEnd(i));
      }
    } catch (const std::exception& e) {
      errors[static_cast<std::size_t>(w)] = e.what();
    }
  };
  std::thread first(writer, 0);
  std::thread second(writer, 1);
  first.join();
  second.join();
  EXPECT_EQ(errors, (std::vector<std::string>{"", ""}));

  SqliteHistory reader(file());
  const std::vector<UpdateRow> rows = reader.rows();
  std::set<std::string> ports;
  for (const auto& row : rows) {
    ports.insert(row.start.port);
    EXPECT_EQ(row.state, RowState::Finished) << row.start.port;
  }
  EXPECT_EQ(rows.size(), 2u * kRowsEach);
  EXPECT_EQ(ports.size(), 2u * kRowsEach);
  EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.id > b.id; }));
}

// The station's runs end on threads of their own and may share one store:
// every row must come out whole, with its own start and its own end.
TEST_F(SqliteHistoryTest, OneStoreSharedByThreadsKeepsEachRowWhole) {
  constexpr int kThreads = 4;
  constexpr int kRowsEach = 25;
  SqliteHistory history(file());
  std::latch start(kThreads);
  std::vector<std::string> errors(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      try {
        start.arrive_and_wait();
        for (int i = 0; i < kRowsEach; ++i) {
          UpdateStart s = sampleStart(i, ::getpid());
          s.port = std::to_string(t) + "-" + std::to_string(i);
          const auto serial = static_cast<std::uint32_t>(t * 1000 + i);
          const std::int64_t id = history.updateStarted(s);
          history.serialNumberRead(id, serial);
          history.updateEnded(id, sampleEnd(i));
          history.rows(serial);
        }
      } catch (const std::exception& e) {
        errors[static_cast<std::size_t>(t)] = e.what();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(errors, std::vector<std::string>(kThreads));
  const std::vector<UpdateRow> rows = history.rows();
  EXPECT_EQ(rows.size(), static_cast<std::size_t>(kThreads * kRowsEach));
  std::set<std::string> ports;
  for (const UpdateRow& row : rows) {
    ports.insert(row.start.port);
    ASSERT_TRUE(row.end.has_value()) << row.start.port;
    ASSERT_TRUE(row.serialNumber.has_value()) << row.start.port;
    const std::string own = std::to_string(*row.serialNumber / 1000) + "-" + std::to_string(*row.serialNumber % 1000);
    EXPECT_EQ(row.start.port, own);
  }
  EXPECT_EQ(ports.size(), static_cast<std::size_t>(kThreads * kRowsEach));
}

// A shared history: one store's rows are seen by another store's later reading.
TEST_F(SqliteHistoryTest, RowsOfAnotherConnectionAreSeen) {
  SqliteHistory window(file());
  SqliteHistory commandLine(file());
  const std::int64_t id = commandLine.updateStarted(sampleStart(1, ::getpid()));
  ASSERT_EQ(window.rows().size(), 1u);
  EXPECT_EQ(window.rows()[0].state, RowState::Running);
  commandLine.updateEnded(id, sampleEnd(1));
  EXPECT_EQ(window.rows()[0].end, sampleEnd(1));
}

// ---- Layout versions ----------------------------------------------------------

TEST_F(SqliteHistoryTest, VersionZeroFilesAreMigrated) {
  struct Case {
    const char* name;
    const char* sql;  // run on the file before the store opens it; empty: an empty file
  };
  const Case cases[] = {
      {"empty file", nullptr},
      {"database without tables", "PRAGMA user_version = 0; CREATE TABLE t(x); DROP TABLE t;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file(std::string(c.name) + ".sqlite");
    if (c.sql == nullptr) {
      std::ofstream(path, std::ios::binary).flush();
    } else {
      RawDatabase raw(path);
      raw.execute(c.sql);
    }
    ASSERT_TRUE(fs::exists(path));
    {
      SqliteHistory history(path);
      history.updateEnded(history.updateStarted(sampleStart(1, ::getpid())), sampleEnd(1));
    }
    RawDatabase raw(path);
    EXPECT_EQ(raw.text("PRAGMA user_version"), std::to_string(SqliteHistory::kSchemaVersion));
    EXPECT_EQ(raw.text("SELECT count(*) FROM updates"), "1");
    EXPECT_EQ(raw.text("PRAGMA integrity_check"), "ok");
  }
}

// What the store must refuse without writing a byte: the file stays as it was.
TEST_F(SqliteHistoryTest, FilesItCannotOwnAreRefusedAndLeftAlone) {
  struct Case {
    const char* name;
    const char* sql;
    const char* why;  // part of the message
  };
  const Case cases[] = {
      {"newer layout", "CREATE TABLE updates(id INTEGER PRIMARY KEY, future TEXT); PRAGMA user_version = 99;",
       "newer"},
      {"another program's database", "CREATE TABLE contacts(name TEXT); INSERT INTO contacts VALUES('x');",
       "not an update history"},
      {"negative version", "CREATE TABLE updates(id INTEGER PRIMARY KEY); PRAGMA user_version = -1;",
       "not one of ours"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file(std::string(c.name) + ".sqlite");
    { RawDatabase(path).execute(c.sql); }
    const std::string before = fileBytes(path);
    try {
      SqliteHistory history(path);
      ADD_FAILURE() << "opened";
    } catch (const HistoryError& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
    }
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_FALSE(fs::exists(path + "-wal"));
  }
}

// ---- Files that cannot be used ------------------------------------------------

TEST_F(SqliteHistoryTest, UnusablePathsGiveAHistoryErrorNamingTheFile) {
  std::ofstream(file("plain"), std::ios::binary) << "not a folder";
  std::string garbage = "this is no database, only bytes";
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 37) & 0xFF);
  std::ofstream(file("garbage.sqlite"), std::ios::binary) << garbage;
  fs::create_directories(file("folder.sqlite"));

  struct Case {
    const char* name;
    std::string path;
  };
  const Case cases[] = {
      {"garbage bytes", file("garbage.sqlite")},
      {"parent is a file", file("plain") + "/sub/history.sqlite"},
      {"folder that cannot be made", "/proc/zorvik-history-test/history.sqlite"},
      {"path is a folder", file("folder.sqlite")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      SqliteHistory history(c.path);
      ADD_FAILURE() << "opened " << c.path;
    } catch (const HistoryError& e) {
      EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(fileBytes(file("garbage.sqlite")), garbage);
}

// A write-protected file. Root writes through any permission, so when the
// test runs as root the opening happens in a child that has given root up.
TEST_F(SqliteHistoryTest, ReadOnlyFileGivesAHistoryError) {
  const std::string path = file();
  { SqliteHistory history(path); }
  ::chmod(path.c_str(), 0444);
  ::chmod(folder_.c_str(), 0755);
  const std::string before = fileBytes(path);

  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(channel[0]);
    std::string outcome;
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      outcome = "cannot give up root";
    } else {
      try {
        SqliteHistory history(path);
        outcome = "opened";
      } catch (const HistoryError& e) {
        outcome = std::string("HistoryError: ") + e.what();
      } catch (...) {
        outcome = "another exception";
      }
    }
    const ssize_t written = ::write(channel[1], outcome.data(), outcome.size());
    ::_exit(written == static_cast<ssize_t>(outcome.size()) ? 0 : 1);
  }
  ::close(channel[1]);
  std::string outcome;
  char buffer[512];
  for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) outcome.append(buffer, static_cast<std::size_t>(n));
  ::close(channel[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << outcome;
  EXPECT_EQ(outcome.rfind("HistoryError: ", 0), 0u) << outcome;
  EXPECT_NE(outcome.find(path), std::string::npos) << outcome;
  EXPECT_NE(outcome.find("read-only"), std::string::npos) << outcome;
  EXPECT_EQ(fileBytes(path), before);
}

// ---- Rows without an end ------------------------------------------------------

TEST_F(SqliteHistoryTest, OpenRowStateFollowsItsProcess) {
  struct Case {
    const char* name;
    std::string host;
    std::int64_t pid;
    const char* token;  // written over the stored process token; null: left as the store wrote it
    RowState expected;
  };
  const Case cases[] = {
      {"this process", hostName(), ::getpid(), nullptr, RowState::Running},
      {"another host", "elsewhere." + hostName(), ::getpid(), nullptr, RowState::Unknown},
      {"pid given to a later process", hostName(), ::getpid(), "other-boot/12345", RowState::Interrupted},
      {"pid 0 (kill would ask the whole group)", hostName(), 0, nullptr, RowState::Interrupted},
      {"pid -1 (kill would ask every process)", hostName(), -1, nullptr, RowState::Interrupted},
      {"pid beyond any pid", hostName(), std::int64_t{1} << 40, nullptr, RowState::Interrupted},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file("case" + std::to_string(index++) + ".sqlite");
    SqliteHistory history(path);
    UpdateStart start = sampleStart(1, c.pid);
    start.host = c.host;
    const std::int64_t id = history.updateStarted(start);
    if (c.token != nullptr) {
      RawDatabase(path).execute("UPDATE updates SET process_token = '" + std::string(c.token) +
                                "' WHERE id = " + std::to_string(id));
    }
    const auto rows = history.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].state, c.expected);
    EXPECT_FALSE(rows[0].end.has_value());
  }
}

}  // namespace
}  // namespace zorvik::history::testing
