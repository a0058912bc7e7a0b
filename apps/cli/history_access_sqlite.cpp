#include <fstream>
#include <ostream>

#include "apps/cli/history_access.h"
#include "history/history_listing.h"
#include "history/history_recorder.h"
#include "history/history_support.h"
#include "history/sqlite_history.h"

namespace zorvik::cli {

RecorderFactory openRecorders(const std::string& path, const std::string& frontEnd) {
  auto recorders = std::make_shared<history::HistoryRecorders>(path, frontEnd);
  return [recorders] { return recorders->make(); };
}

int listHistory(const std::string& path, HistoryFormat format, const std::string& csvFile,
                std::optional<std::uint32_t> serial, std::ostream& out, std::ostream& err) {
  try {
    history::SqliteHistory store(path.empty() ? history::defaultHistoryPath() : path);
    const auto rows = store.rows(serial);
    if (format == HistoryFormat::Json) {
      history::writeJsonLines(out, rows, text::utcNow());
    } else if (format == HistoryFormat::Csv) {
      std::ofstream file(csvFile, std::ios::binary | std::ios::trunc);
      history::writeCsv(file, rows);
      if (!file.flush()) {
        err << "zorvik-updater-cli: cannot write \"" << csvFile << "\"\n";
        return 1;
      }
    } else {
      history::writeTable(out, rows);
    }
    return 0;
  } catch (const history::HistoryError& e) {
    err << "zorvik-updater-cli: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace zorvik::cli
