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

// One store for this command line (`path` empty: the default place), its
// rows naming `operatorName` (empty: the login name). A factory that gives
// nothing where no history is kept. When the last copy of the factory goes,
// writes another program kept waiting are waited for a while, saying so on
// `err`, and a record that could still not be written is named there.
RecorderFactory openRecorders(const std::string& path, const std::string& frontEnd, const std::string& operatorName,
                              std::ostream& err);

enum class HistoryFormat { Table, Json, Csv };

// --history: the rows newest first, of one logger when `serial` is given; to
// `csvFile` for Csv ("-": `out`). Never creates the history: at the default
// place a missing file is an empty history, a named one that is missing an
// error. Exit status: 0, or 1 when the history cannot be read.
int listHistory(const std::string& path, HistoryFormat format, const std::string& csvFile,
                std::optional<std::uint32_t> serial, std::ostream& out, std::ostream& err);

}  // namespace zorvik::cli
