// A record of every update: one row written when an update starts and
// completed when it ends, so that a process killed in between leaves a row
// without an end. Front ends write through this interface only; the SQLite
// store (sqlite_history.h) is one implementation, on Linux and Windows alike.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zorvik::history {

// A store that cannot be opened, read or written.
class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A write that names a row that is not there (or has already ended): trying
// it again cannot help.
class NoSuchRow : public HistoryError {
 public:
  using HistoryError::HistoryError;
};

// What is known when an update starts.
struct UpdateStart {
  std::string startUtc;       // ISO 8601 UTC with milliseconds: 2026-12-10T13:10:55.123Z
  std::string host;           // host name of the machine running the update
  std::int64_t pid = 0;       // process running the update
  std::string port;           // as the user named it
  std::string adapterSerial;  // USB serial number of the adapter; empty when unknown
  std::string frontEnd;       // "window", "cli" or "station"
  std::string operatorName;   // who ran it (--operator, else the login name); empty when unknown
  friend bool operator==(const UpdateStart&, const UpdateStart&) = default;
};

// What is known when it ends.
struct UpdateEnd {
  std::uint16_t deviceClass = 0xFFFF;    // the logger's model (update class); 0xFFFF unknown
  std::uint16_t appVersionBefore = 0;    // application version before the update (major high
                                         // byte, minor low byte); 0 unknown
  bool imageChosen = false;
  std::uint16_t imageVersionHigh = 0;    // the image chosen, when one was
  std::uint16_t imageVersionLow = 0;
  std::uint16_t imagePrint = 0;
  std::uint16_t imageBootloader = 0;
  std::uint16_t imageBootloaderVersion = 0;
  std::string imageSha256;               // of the image as sent (see imageDigest); empty when none
  std::int32_t resultCode = 0;           // 0 success, otherwise the error code
  std::string resultText;                // the final message
  // Every line and the end record went out: the logger runs the new image
  // even when the update then ended in an error (a cancel during its
  // restart, say). None in rows of an older layout, which did not keep it.
  std::optional<bool> imageSent;
  int repeats = 0;                       // automatic repeats made
  std::int64_t durationMs = 0;
  friend bool operator==(const UpdateEnd&, const UpdateEnd&) = default;
};

enum class RowState {
  Running,      // no end yet, and its process (this host, same pid) still lives
  Finished,     // ended, successfully or not (see UpdateEnd::resultCode)
  Interrupted,  // no end, and its process on this host is gone: it never will end
  Unknown,      // no end, written on another host: whether that process still
                // runs cannot be told from here
};

struct UpdateRow {
  std::int64_t id = 0;
  UpdateStart start;
  std::optional<UpdateEnd> end;  // none while running or when interrupted
  RowState state = RowState::Running;
  // The logger's, from the moment it was read (a row without an end has it
  // too); none while unknown. Never 0 for unknown: 0 names no logger.
  std::optional<std::uint32_t> serialNumber;
  friend bool operator==(const UpdateRow&, const UpdateRow&) = default;
};

// How long a write waits for a file another connection holds: the store's
// full limit, or only as long as another writer's own write takes (Brief),
// so that a caller who must not be held up can try again later instead.
enum class LockWait { Wait, Brief };

class UpdateHistory {
 public:
  virtual ~UpdateHistory() = default;
  // Writes the row of a starting update; its id for updateEnded. Throws HistoryError.
  virtual std::int64_t updateStarted(const UpdateStart& start) = 0;
  // The logger's serial number, written into the row as soon as it is read,
  // so that a row that never ends still names its logger. Throws HistoryError.
  virtual void serialNumberRead(std::int64_t id, std::uint32_t serialNumber, LockWait wait) = 0;
  void serialNumberRead(std::int64_t id, std::uint32_t serialNumber) { serialNumberRead(id, serialNumber, LockWait::Wait); }
  // Completes the row, once. Throws HistoryError, also for an id that names
  // no row or a row that has already ended.
  virtual void updateEnded(std::int64_t id, const UpdateEnd& end, LockWait wait) = 0;
  void updateEnded(std::int64_t id, const UpdateEnd& end) { updateEnded(id, end, LockWait::Wait); }
  // Newest first; only the logger with this serial number when given (rows
  // whose serial number was never read are left out then). A row
  // without an end is Running while its process (same host, same pid) lives,
  // Interrupted once it is gone, Unknown when written on another host.
  // Throws HistoryError.
  virtual std::vector<UpdateRow> rows(std::optional<std::uint32_t> serialNumber = std::nullopt) = 0;
};

}  // namespace zorvik::history
