#include "history/history_recorder.h"

#include <unistd.h>

#include "history/history_support.h"
#include "history/sqlite_history.h"
#include "images/sending_order.h"

namespace zorvik::history {
namespace {

std::string problem(const std::string& what) {
  return "The update history cannot be kept (" + what + "); the update goes on.";
}

UpdateEnd endOf(const engine::RunRequest& request, const session::UpdateEnding& ending) {
  UpdateEnd end;
  const engine::RunSummary& s = ending.summary;
  end.serialNumber = s.serialNumber;
  end.deviceClass = s.updateClass;
  end.appVersionBefore = s.applicationVersion;
  end.imageChosen = s.image >= 0;
  if (end.imageChosen) {
    const images::ImageHeader h = request.images.header(s.image);
    end.imageVersionHigh = h.versionHigh;
    end.imageVersionLow = h.versionLow;
    end.imagePrint = h.print;
    end.imageBootloader = h.bootloader;
    end.imageBootloaderVersion = h.bootloaderVersion;
    end.imageSha256 = imageDigest(images::sendingOrder(request.images, s.image));
  }
  end.resultCode = ending.outcome;
  end.resultText = ending.finalText;
  end.repeats = ending.repeats;
  end.durationMs = ending.duration.count();
  return end;
}

}  // namespace

HistoryRecorder::HistoryRecorder(std::shared_ptr<UpdateHistory> store, std::string frontEnd, std::string openProblem)
    : store_(std::move(store)), frontEnd_(std::move(frontEnd)), openProblem_(std::move(openProblem)) {}

std::optional<std::string> HistoryRecorder::updateStarted(const engine::RunRequest& request) {
  row_.reset();
  if (!store_) return problem(openProblem_);
  try {
    row_ = store_->updateStarted(
        UpdateStart{text::utcNow(), hostName(), static_cast<std::int64_t>(::getpid()), request.port, request.adapterSerial, frontEnd_});
    return std::nullopt;
  } catch (const HistoryError& e) {
    return problem(e.what());
  }
}

std::optional<std::string> HistoryRecorder::updateEnded(const engine::RunRequest& request, const session::UpdateEnding& ending) {
  if (!store_) return problem(openProblem_);
  if (!row_) return std::nullopt;  // its start could not be written; said so then
  try {
    store_->updateEnded(*row_, endOf(request, ending));
    row_.reset();
    return std::nullopt;
  } catch (const HistoryError& e) {
    return problem(e.what());
  }
}

HistoryRecorders::HistoryRecorders(const std::string& path, std::string frontEnd) : frontEnd_(std::move(frontEnd)) {
  try {
    store_ = std::make_shared<SqliteHistory>(path.empty() ? defaultHistoryPath() : path);
  } catch (const HistoryError& e) {
    openProblem_ = e.what();
  }
}

std::shared_ptr<session::UpdateRecorder> HistoryRecorders::make() const {
  return std::make_shared<HistoryRecorder>(store_, frontEnd_, openProblem_);
}

}  // namespace zorvik::history
