#include "history/sqlite_history.h"

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "history/history_support.h"

namespace zorvik::history {
namespace {

// ---- Handles -----------------------------------------------------------------

struct DatabaseCloser {
  // close_v2 waits for statements still alive, so the order of destruction
  // between a connection and its statements does not matter.
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, DatabaseCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

class Connection {
 public:
  explicit Connection(std::string path) : path_(std::move(path)) {}

  void open() {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path_.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    db_.reset(raw);  // a failed open may still hand out a handle that must be closed
    if (rc != SQLITE_OK) {
      if (raw != nullptr) fail("cannot open it");
      throw HistoryError(where() + "cannot open it: " + sqlite3_errstr(rc));
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, SqliteHistory::kBusyTimeoutMs);
    // SQLite quietly falls back to reading only when the file is write
    // protected; a history that takes no rows is of no use, so say so now.
    if (sqlite3_db_readonly(raw, "main") == 1) throw HistoryError(where() + "the file is read-only");
  }

  sqlite3* get() const { return db_.get(); }
  const std::string& path() const { return path_; }

  [[noreturn]] void fail(std::string_view doing) const {
    throw HistoryError(where() + std::string(doing) + ": " + sqlite3_errmsg(db_.get()));
  }

  // Runs constant SQL written in this file; values never go through here.
  void execute(const char* sql, std::string_view doing) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(doing);
  }

  StatementHandle prepare(const char* sql, std::string_view doing) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(db_.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    StatementHandle statement(raw);
    if (rc != SQLITE_OK) fail(doing);
    return statement;
  }

  // Puts the file into WAL mode; false when its file system cannot have it.
  bool switchToWal();

 private:
  std::string where() const { return "update history " + path_ + ": "; }

  std::string path_;
  DatabaseHandle db_;
};

// One execution of a prepared statement: binds, steps, and leaves the
// statement reset and unbound however the scope is left, so that the next
// use starts clean and no read transaction stays open behind it.
class Execution {
 public:
  Execution(Connection& connection, sqlite3_stmt* statement, std::string_view doing)
      : connection_(connection), statement_(statement), doing_(doing) {}
  ~Execution() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  Execution(const Execution&) = delete;
  Execution& operator=(const Execution&) = delete;

  void bind(int index, std::int64_t value) { check(sqlite3_bind_int64(statement_, index, value)); }
  // The text must live until the statement has run: it is not copied.
  void bind(int index, const std::string& value) {
    check(sqlite3_bind_text64(statement_, index, value.data(), value.size(), nullptr, SQLITE_UTF8));
  }
  void bindNull(int index) { check(sqlite3_bind_null(statement_, index)); }

  // True with a row to read, false when done.
  bool step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    connection_.fail(doing_);
  }

  std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
  bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
  std::string text(int column) const {
    const unsigned char* value = sqlite3_column_text(statement_, column);
    if (value == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(value),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
  }

 private:
  void check(int rc) const {
    if (rc != SQLITE_OK) connection_.fail(doing_);
  }

  Connection& connection_;
  sqlite3_stmt* statement_;
  std::string_view doing_;
};

bool Connection::switchToWal() {
  // Changing the journal mode needs the file to itself, and unlike other
  // statements it does not wait through the busy timeout when another
  // connection holds a lock (two processes opening a new file together): it
  // answers SQLITE_BUSY at once. So the waiting happens here, as long as the
  // timeout would wait.
  const StatementHandle statement = prepare("PRAGMA journal_mode=WAL", "switching to WAL mode");
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(SqliteHistory::kBusyTimeoutMs);
  for (;;) {
    Execution run(*this, statement.get(), "switching to WAL mode");
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) return run.text(0) == "wal";
    const int primary = rc & 0xFF;
    if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || std::chrono::steady_clock::now() >= giveUp) {
      fail("switching to WAL mode");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The waiting of one write: short for Brief, back to the usual limit when
// the write is done. Used under the store's mutex, so no other statement
// runs meanwhile.
class LockWaiting {
 public:
  LockWaiting(Connection& connection, LockWait wait) : connection_(connection), changed_(wait == LockWait::Brief) {
    if (changed_) sqlite3_busy_timeout(connection_.get(), SqliteHistory::kBriefBusyTimeoutMs);
  }
  ~LockWaiting() {
    if (changed_) sqlite3_busy_timeout(connection_.get(), SqliteHistory::kBusyTimeoutMs);
  }
  LockWaiting(const LockWaiting&) = delete;
  LockWaiting& operator=(const LockWaiting&) = delete;

 private:
  Connection& connection_;
  bool changed_;
};

// ---- Layout ------------------------------------------------------------------

// Version 1, the first layout. The end columns stay NULL until the update
// ends; `ended` marks that it did. process_token tells a living process from
// a later one that was given the same pid (see processToken).
constexpr const char* kCreateVersion1 = R"sql(
CREATE TABLE updates (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  start_utc TEXT NOT NULL,
  host TEXT NOT NULL,
  pid INTEGER NOT NULL,
  process_token TEXT NOT NULL,
  port TEXT NOT NULL,
  adapter_serial TEXT NOT NULL,
  front_end TEXT NOT NULL,
  ended INTEGER NOT NULL DEFAULT 0,
  serial_number INTEGER,
  device_class INTEGER,
  app_version_before INTEGER,
  image_chosen INTEGER,
  image_version_high INTEGER,
  image_version_low INTEGER,
  image_print INTEGER,
  image_bootloader INTEGER,
  image_bootloader_version INTEGER,
  image_sha256 TEXT,
  result_code INTEGER,
  result_text TEXT,
  repeats INTEGER,
  duration_ms INTEGER
);
CREATE INDEX updates_by_serial ON updates(serial_number);
)sql";

void migrateTo1(Connection& connection) { connection.execute(kCreateVersion1, "creating the history table"); }

// Version 2: whether the image went out whole, and who ran the update (both
// NULL in older rows: not known). A serial number is written as soon as it
// is read and NULL while unknown; version 1 wrote 0 for unknown, and 0 names
// no logger, so those rows become NULL.
constexpr const char* kUpgradeTo2 = R"sql(
ALTER TABLE updates ADD COLUMN image_sent INTEGER;
ALTER TABLE updates ADD COLUMN operator TEXT;
UPDATE updates SET serial_number = NULL WHERE serial_number = 0;
)sql";

void migrateTo2(Connection& connection) { connection.execute(kUpgradeTo2, "adding the columns of layout 2"); }

// kMigrations[v] brings a file from layout v to v + 1. A later layout adds
// its step here and raises kSchemaVersion; the steps run in one transaction.
using Migration = void (*)(Connection&);
constexpr std::array<Migration, SqliteHistory::kSchemaVersion> kMigrations = {&migrateTo1, &migrateTo2};

// Refuses a file whose layout this code cannot write: a newer one, or a
// version-0 file that already holds tables (another program's database that
// the user named by mistake, which must not get our table added).
void checkLayout(Connection& connection, std::int64_t version, std::int64_t tables) {
  if (version > SqliteHistory::kSchemaVersion) {
    throw HistoryError("update history " + connection.path() + ": written by a newer updater (layout " +
                       std::to_string(version) + ", this one knows up to " +
                       std::to_string(SqliteHistory::kSchemaVersion) + "); left as it is");
  }
  if (version == 0 && tables > 0) {
    throw HistoryError("update history " + connection.path() +
                       ": holds tables but no history layout version: not an update history; left as it is");
  }
  if (version < 0) {
    throw HistoryError("update history " + connection.path() + ": layout version " + std::to_string(version) +
                       " is not one of ours; left as it is");
  }
}

// The layout version and whether the file holds tables, read in one
// statement: one snapshot, so that another process migrating the file in
// between cannot show a version-0 file with our table in it.
constexpr const char* kReadLayout =
    "SELECT (SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM sqlite_master)";

void readAndCheckLayout(Connection& connection, std::int64_t& version) {
  const StatementHandle statement = connection.prepare(kReadLayout, "reading the layout version");
  Execution run(connection, statement.get(), "reading the layout version");
  if (!run.step()) throw HistoryError("update history " + connection.path() + ": reading the layout version: no answer");
  version = run.integer(0);
  checkLayout(connection, version, run.integer(1));
}

void migrate(Connection& connection) {
  // Looking first only reads, so a file we refuse stays byte for byte as it was.
  std::int64_t version = 0;
  readAndCheckLayout(connection, version);

  // Readers never wait for the writer, and a writer never for readers. Not
  // every file system can hold WAL's shared memory; the history works
  // without it (the answer is then another mode), only with more waiting.
  connection.switchToWal();
  if (version == SqliteHistory::kSchemaVersion) return;

  // IMMEDIATE takes the write lock at once: two processes opening a new file
  // together then migrate one after the other, the second finding the work
  // done, instead of both reading version 0 and one failing on the upgrade.
  connection.execute("BEGIN IMMEDIATE", "starting the layout upgrade");
  try {
    readAndCheckLayout(connection, version);  // another process may have done it meanwhile
    if (version < SqliteHistory::kSchemaVersion) {
      for (; version < SqliteHistory::kSchemaVersion; ++version) {
        kMigrations[static_cast<std::size_t>(version)](connection);
      }
      // PRAGMA takes no bound parameters; the number is this file's constant.
      const std::string setVersion = "PRAGMA user_version = " + std::to_string(SqliteHistory::kSchemaVersion);
      connection.execute(setVersion.c_str(), "writing the layout version");
    }
    connection.execute("COMMIT", "committing the layout upgrade");
  } catch (...) {
    sqlite3_exec(connection.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

// SQLite keeps its journal beside the file it is given, so a device, a pipe
// or a folder named as the history would get a stranger beside it (a
// "/dev/null-journal" for /dev/null) or hang the update on a read. Only a
// regular file, or a new one in a folder we may write, is a history.
void checkIsFileOrNew(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(fileSystemPath(path), error);
  if (status.type() == std::filesystem::file_type::not_found) {
    const std::filesystem::path parent = fileSystemPath(path).parent_path();
    if (!mayCreateIn(parent.empty() ? std::filesystem::path(".") : parent)) {
      throw HistoryError("update history " + path + ": cannot create a file in the folder " +
                         (parent.empty() ? std::string(".") : parent.string()));
    }
    return;
  }
  if (error) throw HistoryError("update history " + path + ": cannot look at it: " + error.message());
  if (!std::filesystem::is_regular_file(status)) {
    throw HistoryError("update history " + path + ": not a regular file; a history is kept only in a file of its own");
  }
}

void createParentDirectories(const std::string& path) {
  // The name is UTF-8 (SQLite's, on every platform); as plain char, MinGW's
  // std::filesystem would read it in the ANSI code page.
  const std::filesystem::path parent = fileSystemPath(path).parent_path();
  if (parent.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(parent, error);
  if (error) {
    throw HistoryError("update history " + path + ": cannot create the folder " + parent.string() + ": " +
                       error.message());
  }
}

// Columns of the row queries, in this order.
constexpr const char* kSelectColumns =
    "SELECT id, start_utc, host, pid, process_token, port, adapter_serial, front_end, ended, serial_number, "
    "device_class, app_version_before, image_chosen, image_version_high, image_version_low, image_print, "
    "image_bootloader, image_bootloader_version, image_sha256, result_code, result_text, repeats, duration_ms, "
    "image_sent, operator "
    "FROM updates ";

std::string selectSql(const char* condition) {
  return std::string(kSelectColumns) + condition + " ORDER BY id DESC";
}

// A stored number back into its field. Only a file edited by hand holds
// values out of a field's range; they are cut as a conversion cuts them.
template <class T>
T narrow(std::int64_t value) {
  return static_cast<T>(value);
}

}  // namespace

// ---- SqliteHistory -----------------------------------------------------------

struct SqliteHistory::Impl {
  explicit Impl(const std::string& path) : connection(path) {
    createParentDirectories(path);
    checkIsFileOrNew(path);
    connection.open();
    migrate(connection);
    insert = connection.prepare(
        "INSERT INTO updates (start_utc, host, pid, process_token, port, adapter_serial, front_end, operator) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
        "preparing to write");
    end = connection.prepare(
        "UPDATE updates SET ended = 1, image_sent = ?2, device_class = ?3, app_version_before = ?4, "
        "image_chosen = ?5, image_version_high = ?6, image_version_low = ?7, image_print = ?8, "
        "image_bootloader = ?9, image_bootloader_version = ?10, image_sha256 = ?11, result_code = ?12, "
        "result_text = ?13, repeats = ?14, duration_ms = ?15 WHERE id = ?1 AND ended = 0",
        "preparing to write");
    serial = connection.prepare("UPDATE updates SET serial_number = ?2 WHERE id = ?1", "preparing to write");
    selectAll = connection.prepare(selectSql("").c_str(), "preparing to read");
    selectSerial = connection.prepare(selectSql("WHERE serial_number = ?1").c_str(), "preparing to read");
  }

  UpdateRow readRow(const Execution& run) const {
    UpdateRow row;
    row.id = run.integer(0);
    row.start.startUtc = run.text(1);
    row.start.host = run.text(2);
    row.start.pid = run.integer(3);
    const std::string token = run.text(4);
    row.start.port = run.text(5);
    row.start.adapterSerial = run.text(6);
    row.start.frontEnd = run.text(7);
    row.start.operatorName = run.text(24);
    if (!run.isNull(9)) row.serialNumber = narrow<std::uint32_t>(run.integer(9));
    if (run.integer(8) != 0) {
      UpdateEnd e;
      e.deviceClass = narrow<std::uint16_t>(run.integer(10));
      e.appVersionBefore = narrow<std::uint16_t>(run.integer(11));
      e.imageChosen = run.integer(12) != 0;
      e.imageVersionHigh = narrow<std::uint16_t>(run.integer(13));
      e.imageVersionLow = narrow<std::uint16_t>(run.integer(14));
      e.imagePrint = narrow<std::uint16_t>(run.integer(15));
      e.imageBootloader = narrow<std::uint16_t>(run.integer(16));
      e.imageBootloaderVersion = narrow<std::uint16_t>(run.integer(17));
      e.imageSha256 = run.text(18);
      e.resultCode = narrow<std::int32_t>(run.integer(19));
      e.resultText = run.text(20);
      e.repeats = narrow<int>(run.integer(21));
      e.durationMs = run.integer(22);
      if (!run.isNull(23)) e.imageSent = run.integer(23) != 0;
      row.end = std::move(e);
      row.state = RowState::Finished;
    } else if (row.start.host != host) {
      row.state = RowState::Unknown;
    } else {
      row.state = processLives(row.start.pid, token) ? RowState::Running : RowState::Interrupted;
    }
    return row;
  }

  Connection connection;
  std::string host = hostName();
  std::mutex mutex;  // one statement runs at a time on the shared connection
  StatementHandle insert;
  StatementHandle end;
  StatementHandle serial;
  StatementHandle selectAll;
  StatementHandle selectSerial;
};

SqliteHistory::SqliteHistory(const std::string& path) : impl_(std::make_unique<Impl>(path)) {}

SqliteHistory::~SqliteHistory() = default;

const std::string& SqliteHistory::path() const { return impl_->connection.path(); }

std::int64_t SqliteHistory::updateStarted(const UpdateStart& start) {
  const std::string token = processToken(start.pid);
  std::lock_guard lock(impl_->mutex);
  Execution run(impl_->connection, impl_->insert.get(), "writing the start of an update");
  run.bind(1, start.startUtc);
  run.bind(2, start.host);
  run.bind(3, start.pid);
  run.bind(4, token);
  run.bind(5, start.port);
  run.bind(6, start.adapterSerial);
  run.bind(7, start.frontEnd);
  run.bind(8, start.operatorName);
  run.step();
  return sqlite3_last_insert_rowid(impl_->connection.get());
}

void SqliteHistory::updateEnded(std::int64_t id, const UpdateEnd& end, LockWait wait) {
  std::lock_guard lock(impl_->mutex);
  const LockWaiting waiting(impl_->connection, wait);
  Execution run(impl_->connection, impl_->end.get(), "writing the end of an update");
  run.bind(1, id);
  if (end.imageSent) {
    run.bind(2, std::int64_t{*end.imageSent ? 1 : 0});
  } else {
    run.bindNull(2);
  }
  run.bind(3, std::int64_t{end.deviceClass});
  run.bind(4, std::int64_t{end.appVersionBefore});
  run.bind(5, std::int64_t{end.imageChosen ? 1 : 0});
  run.bind(6, std::int64_t{end.imageVersionHigh});
  run.bind(7, std::int64_t{end.imageVersionLow});
  run.bind(8, std::int64_t{end.imagePrint});
  run.bind(9, std::int64_t{end.imageBootloader});
  run.bind(10, std::int64_t{end.imageBootloaderVersion});
  run.bind(11, end.imageSha256);
  run.bind(12, std::int64_t{end.resultCode});
  run.bind(13, end.resultText);
  run.bind(14, std::int64_t{end.repeats});
  run.bind(15, end.durationMs);
  run.step();
  if (sqlite3_changes(impl_->connection.get()) == 0) {
    throw NoSuchRow("update history " + path() + ": no running update with id " + std::to_string(id));
  }
}

void SqliteHistory::serialNumberRead(std::int64_t id, std::uint32_t serialNumber, LockWait wait) {
  std::lock_guard lock(impl_->mutex);
  const LockWaiting waiting(impl_->connection, wait);
  Execution run(impl_->connection, impl_->serial.get(), "writing the serial number of an update");
  run.bind(1, id);
  run.bind(2, std::int64_t{serialNumber});
  run.step();
  if (sqlite3_changes(impl_->connection.get()) == 0) {
    throw NoSuchRow("update history " + path() + ": no update with id " + std::to_string(id));
  }
}

std::vector<UpdateRow> SqliteHistory::rows(std::optional<std::uint32_t> serialNumber) {
  std::lock_guard lock(impl_->mutex);
  sqlite3_stmt* statement = serialNumber ? impl_->selectSerial.get() : impl_->selectAll.get();
  Execution run(impl_->connection, statement, "reading the history");
  if (serialNumber) run.bind(1, std::int64_t{*serialNumber});
  std::vector<UpdateRow> rows;
  while (run.step()) rows.push_back(impl_->readRow(run));
  return rows;
}

std::optional<std::vector<UpdateRow>> existingRows(const std::string& path, std::optional<std::uint32_t> serialNumber) {
  std::error_code error;
  if (!std::filesystem::exists(fileSystemPath(path), error)) return std::nullopt;
  return SqliteHistory(path).rows(serialNumber);
}

}  // namespace zorvik::history
