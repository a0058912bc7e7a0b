// The update history as the command line uses it: a recorder for each update
// session, and --history's listing. Kept in SQLite (history/) on Linux and
// Windows; a build without SQLite would keep none and say so.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "session/update_recorder.h"

namespace zorvik::cli {

using RecorderFactory = std::function<std::shared_ptr<session::UpdateRecorder>()>;

// One store for this command line (`path` empty: the default place). A
// factory that gives nothing where no history is kept.
RecorderFactory openRecorders(const std::string& path, const std::string& frontEnd);

enum class HistoryFormat { Table, Json, Csv };

// --history: the rows newest first, of one logger when `serial` is given; to
// `csvFile` for Csv. Exit status: 0, or 1 when the history cannot be read.
int listHistory(const std::string& path, HistoryFormat format, const std::string& csvFile,
                std::optional<std::uint32_t> serial, std::ostream& out, std::ostream& err);

}  // namespace zorvik::cli
