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

// Said at the end, when the update has ended: its record waits in memory.
std::string endProblem(const std::string& what) {
  return "The update history cannot be written now (" + what +
         "); the record of this update is kept and written as soon as the file can be written.";
}

UpdateEnd endOf(const engine::RunRequest& request, const session::UpdateEnding& ending) {
  UpdateEnd end;
  const engine::RunSummary& s = ending.summary;
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
  end.imageSent = s.imageSent;
  end.repeats = ending.repeats;
  end.durationMs = ending.duration.count();
  return end;
}

}  // namespace

HistoryRecorder::HistoryRecorder(std::shared_ptr<UpdateHistory> store, std::shared_ptr<WriteQueue> writes,
                                 std::string frontEnd, std::string operatorName, std::string openProblem)
    : store_(std::move(store)),
      writes_(std::move(writes)),
      frontEnd_(std::move(frontEnd)),
      operatorName_(std::move(operatorName)),
      openProblem_(std::move(openProblem)) {}

std::optional<std::string> HistoryRecorder::updateStarted(const engine::RunRequest& request) {
  row_.reset();
  serialWritten_ = 0;
  if (!store_ || !writes_) return problem(openProblem_);
  try {
    row_ = store_->updateStarted(UpdateStart{text::utcNow(), hostName(), static_cast<std::int64_t>(::getpid()),
                                             request.port, request.adapterSerial, frontEnd_, operatorName_});
    return std::nullopt;
  } catch (const HistoryError& e) {
    return problem(e.what());
  }
}

std::optional<std::string> HistoryRecorder::serialNumberRead(const engine::RunRequest&, std::uint32_t serialNumber) {
  if (!row_ || serialNumber == 0 || serialNumber == serialWritten_) return std::nullopt;
  serialWritten_ = serialNumber;
  writes_->add([id = *row_, serialNumber](UpdateHistory& store, LockWait wait) {
    store.serialNumberRead(id, serialNumber, wait);
  });
  return std::nullopt;
}

std::optional<std::string> HistoryRecorder::updateEnded(const engine::RunRequest& request,
                                                        const session::UpdateEnding& ending) {
  if (!store_ || !writes_) return problem(openProblem_);
  if (!row_) return std::nullopt;  // its start could not be written; said so then
  serialNumberRead(request, ending.summary.serialNumber);
  writes_->add([id = *row_, end = endOf(request, ending)](UpdateHistory& store, LockWait wait) {
    store.updateEnded(id, end, wait);
  });
  row_.reset();
  // The end was tried once without waiting; when it (or a write before it)
  // failed, it is kept and tried again, and the user is told so.
  if (const auto failed = writes_->problem()) return endProblem(*failed);
  return std::nullopt;
}

HistoryRecorders::HistoryRecorders(const std::string& path, std::string frontEnd, std::string operatorName,
                                   std::chrono::milliseconds retryPause, std::chrono::milliseconds exitLimit)
    : frontEnd_(std::move(frontEnd)), operatorName_(operatorName.empty() ? loginName() : std::move(operatorName)) {
  try {
    store_ = std::make_shared<SqliteHistory>(path.empty() ? defaultHistoryPath() : path);
    writes_ = std::make_shared<WriteQueue>(store_, retryPause, exitLimit);
  } catch (const HistoryError& e) {
    openProblem_ = e.what();
    store_.reset();
  }
}

std::shared_ptr<session::UpdateRecorder> HistoryRecorders::make() const {
  return std::make_shared<HistoryRecorder>(store_, writes_, frontEnd_, operatorName_, openProblem_);
}

bool HistoryRecorders::waitUntilWritten(std::chrono::milliseconds limit) const {
  return !writes_ || writes_->waitUntilWritten(limit);
}

std::optional<std::string> HistoryRecorders::writeProblem() const {
  return writes_ ? writes_->problem() : std::nullopt;
}

}  // namespace zorvik::history
