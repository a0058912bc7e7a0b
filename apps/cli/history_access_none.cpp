#include <ostream>

#include "apps/cli/history_access.h"

namespace zorvik::cli {

// This build keeps no history (no SQLite for it in our package sources).
RecorderFactory openRecorders(const std::string&, const std::string&, const std::string&, std::ostream&) { return {}; }

int listHistory(const std::string&, HistoryFormat, const std::string&, std::optional<std::uint32_t>, std::ostream&,
                std::ostream& err) {
  err << "zorvik-updater-cli: this build keeps no update history\n";
  return 1;
}

}  // namespace zorvik::cli
