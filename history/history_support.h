// What a front end needs to fill in an update's row: the time, the host, the
// file the history lives in and the digest of the image as sent.
#pragma once

#include <chrono>
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
// HistoryError when no home directory is known either.
std::string defaultHistoryPath();

// Lowercase hex SHA-256 of the record lines as programming sends them, each
// followed by "\n". The caller gives the lines in sending order (for an
// image source, sendingOrder(images, image) of images/sending_order.h), so
// that a built-in image and the same image loaded from a file give one digest.
std::string imageDigest(const std::vector<std::string_view>& linesInSendingOrder);

}  // namespace zorvik::history
