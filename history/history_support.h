// What a front end needs to fill in an update's row: the time, the host, the
// file the history lives in and the digest of the image as sent; and what
// the store asks of the system about the process that began a row. One
// implementation per platform (history_support.cpp, history_support_win.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "text/utc_time.h"  // the rows' start times

namespace zorvik::history {

// This machine's host name as the system reports it; empty when it cannot be read.
std::string hostName();

// Who runs the updates, for their rows when no operator is named: the login
// name of this session, else the user name of the process; empty when
// neither is known.
std::string loginName();

// $XDG_DATA_HOME/zorvik-updater/history.sqlite, or
// ~/.local/share/zorvik-updater/history.sqlite when XDG_DATA_HOME is unset,
// empty or relative (the XDG rules ignore relative paths). Throws
// HistoryError when no home directory is known either. On Windows
// %LOCALAPPDATA%\zorvik-updater\history.sqlite, the variable's folder when it
// is an absolute path, else the user's local application data folder as the
// shell knows it; throws when neither is known. UTF-8, as SQLite takes it.
std::string defaultHistoryPath();

// A UTF-8 path (as SQLite takes it and our options hold it) for the file
// system calls: MinGW's library would read a plain string in the ANSI code
// page and miss every name that is not ASCII.
inline std::filesystem::path fileSystemPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Whether this user may create a file in `folder`.
bool mayCreateIn(const std::filesystem::path& folder);

// Lowercase hex SHA-256 of the record lines as programming sends them, each
// followed by "\n". The caller gives the lines in sending order (for an
// image source, sendingOrder(images, image) of images/sending_order.h), so
// that a built-in image and the same image loaded from a file give one digest.
std::string imageDigest(const std::vector<std::string_view>& linesInSendingOrder);

// Names the process `pid` for as long as the machine runs, so that a later
// process given the same pid is not taken for it; empty when the system does
// not show the process. Stored with each row, for processLives.
std::string processToken(std::int64_t pid);

// Whether the process `pid`, which had `token` (empty: not known), still
// lives: a row without an end is running while it does, interrupted after.
bool processLives(std::int64_t pid, const std::string& token);

}  // namespace zorvik::history
