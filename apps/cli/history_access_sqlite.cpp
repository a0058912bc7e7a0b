#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "apps/cli/history_access.h"
#include "history/history_listing.h"
#include "history/history_recorder.h"
#include "history/history_support.h"
#include "history/sqlite_history.h"

namespace zorvik::cli {
namespace {

void writeRows(HistoryFormat format, const std::vector<history::UpdateRow>& rows, std::ostream& out) {
  if (format == HistoryFormat::Json) {
    history::writeJsonLines(out, rows, text::utcNow());
  } else if (format == HistoryFormat::Csv) {
    history::writeCsv(out, rows);
  } else {
    history::writeTable(out, rows);
  }
}

// "-" is standard output, as for every other tool.
int writeListing(HistoryFormat format, const std::string& csvFile, const std::vector<history::UpdateRow>& rows,
                 std::ostream& out, std::ostream& err) {
  if (format != HistoryFormat::Csv || csvFile == "-") {
    writeRows(format, rows, out);
    return 0;
  }
  std::ofstream file(csvFile, std::ios::binary | std::ios::trunc);
  writeRows(format, rows, file);
  if (!file.flush()) {
    err << "zorvik-updater-cli: cannot write \"" << csvFile << "\"\n";
    return 1;
  }
  return 0;
}

// The history of one command: the end of the last update may still wait for
// a file another program holds when the command is done. The user has seen
// the result already; here they learn why the program has not ended yet,
// and whether the record made it.
class CliHistory {
 public:
  static constexpr std::chrono::milliseconds kExitWait = history::HistoryRecorders::kExitLimit;

  CliHistory(const std::string& path, const std::string& frontEnd, const std::string& operatorName, std::ostream& err)
      : recorders_(path, frontEnd, operatorName, history::HistoryRecorders::kRetryPause, std::chrono::milliseconds{0}),
        err_(err) {}
  ~CliHistory() {
    if (recorders_.waitUntilWritten(std::chrono::milliseconds{0})) return;
    err_ << "zorvik-updater-cli: writing the update history (another program holds it, or the disk is full)...\n";
    if (recorders_.waitUntilWritten(kExitWait)) return;
    err_ << "zorvik-updater-cli: the update history could not be written ("
         << recorders_.writeProblem().value_or("no answer") << "): the record of this update is lost\n";
  }
  CliHistory(const CliHistory&) = delete;
  CliHistory& operator=(const CliHistory&) = delete;

  std::shared_ptr<session::UpdateRecorder> make() const { return recorders_.make(); }

 private:
  history::HistoryRecorders recorders_;
  std::ostream& err_;
};

}  // namespace

RecorderFactory openRecorders(const std::string& path, const std::string& frontEnd, const std::string& operatorName,
                              std::ostream& err) {
  auto history = std::make_shared<CliHistory>(path, frontEnd, operatorName, err);
  return [history] { return history->make(); };
}

int listHistory(const std::string& path, HistoryFormat format, const std::string& csvFile,
                std::optional<std::uint32_t> serial, std::ostream& out, std::ostream& err) {
  try {
    const std::string file = path.empty() ? history::defaultHistoryPath() : path;
    const std::optional<std::vector<history::UpdateRow>> rows = history::existingRows(file, serial);
    if (!rows) {
      if (!path.empty()) {
        err << "zorvik-updater-cli: no update history at \"" << path
            << "\": no such file (an update or a station with --history-db makes it)\n";
        return 1;
      }
      if (format != HistoryFormat::Table) return writeListing(format, csvFile, {}, out, err);
      out << "No update history yet: no update has been recorded here.\n";
      return 0;
    }
    return writeListing(format, csvFile, *rows, out, err);
  } catch (const history::HistoryError& e) {
    err << "zorvik-updater-cli: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace zorvik::cli
