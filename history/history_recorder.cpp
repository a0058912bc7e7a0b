#include "history/history_recorder.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

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

HistoryFile::HistoryFile(std::string path, std::chrono::milliseconds retryPause, std::chrono::milliseconds exitLimit)
    : path_(std::move(path)), retryPause_(retryPause), exitLimit_(exitLimit) {}

const HistoryFile::Opened& HistoryFile::open() {
  std::lock_guard lock(mutex_);
  if (opened_) return *opened_;
  Opened opened;
  try {
    opened.store = std::make_shared<SqliteHistory>(filePath());
    opened.writes = std::make_shared<WriteQueue>(opened.store, retryPause_, exitLimit_);
  } catch (const HistoryError& e) {
    opened = Opened{nullptr, nullptr, e.what()};
  }
  opened_ = std::move(opened);
  return *opened_;
}

std::vector<UpdateRow> HistoryFile::rows() {
  {
    std::lock_guard lock(mutex_);
    if (!opened_) return existingRows(filePath()).value_or(std::vector<UpdateRow>{});
  }
  const Opened& opened = open();
  if (!opened.store) throw HistoryError(opened.problem);
  return opened.store->rows();
}

std::string HistoryFile::filePath() const { return path_.empty() ? defaultHistoryPath() : path_; }

std::shared_ptr<WriteQueue> HistoryFile::writes() const {
  std::lock_guard lock(mutex_);
  return opened_ ? opened_->writes : nullptr;
}

HistoryRecorder::HistoryRecorder(std::shared_ptr<HistoryFile> file, std::string frontEnd, std::string operatorName)
    : file_(std::move(file)), frontEnd_(std::move(frontEnd)), operatorName_(std::move(operatorName)) {}

std::optional<std::string> HistoryRecorder::updateStarted(const engine::RunRequest& request) {
  row_.reset();
  serialWritten_ = 0;
  const HistoryFile::Opened& opened = file_->open();
  store_ = opened.store;
  writes_ = opened.writes;
  if (!store_ || !writes_) return problem(opened.problem);
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
    : file_(std::make_shared<HistoryFile>(path, retryPause, exitLimit)),
      frontEnd_(std::move(frontEnd)),
      operatorName_(operatorName.empty() ? loginName() : std::move(operatorName)) {}

std::shared_ptr<session::UpdateRecorder> HistoryRecorders::make() const {
  return std::make_shared<HistoryRecorder>(file_, frontEnd_, operatorName_);
}

bool HistoryRecorders::waitUntilWritten(std::chrono::milliseconds limit) const {
  const auto writes = file_->writes();
  return !writes || writes->waitUntilWritten(limit);
}

std::optional<std::string> HistoryRecorders::writeProblem() const {
  const auto writes = file_->writes();
  return writes ? writes->problem() : std::nullopt;
}

}  // namespace zorvik::history
