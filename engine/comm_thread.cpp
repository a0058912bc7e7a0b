#include "comm_thread.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "crc.h"
#include "events.h"
#include "qorn_exception.h"

namespace zorvik {
namespace {

constexpr std::int32_t kBaudRate = 9600;
constexpr int kWakePauseMs = 100;

// Workers detach and free themselves; this count only lets a front end that
// is about to quit wait (bounded) until no worker holds the port any more.
// Never destroyed: a worker that has posted its final event is still on its
// way out through workerEnded() when the front end may already have returned
// from main, and static destructors must not pull the mutex from under it.
struct LiveWorkers {
  std::mutex mutex;
  std::condition_variable done;
  int count = 0;
};

LiveWorkers& liveWorkers() {
  static LiveWorkers* const workers = new LiveWorkers;
  return *workers;
}

void workerStarted() {
  LiveWorkers& w = liveWorkers();
  std::lock_guard lock(w.mutex);
  ++w.count;
}

void workerEnded() {
  LiveWorkers& w = liveWorkers();
  std::lock_guard lock(w.mutex);
  --w.count;
  w.done.notify_all();
}

}  // namespace

bool waitForWorkers(std::chrono::milliseconds timeout) {
  LiveWorkers& w = liveWorkers();
  std::unique_lock lock(w.mutex);
  return w.done.wait_for(lock, timeout, [&w] { return w.count == 0; });
}

TCommThread::TCommThread(RunContext context, TCmd cmd, std::string sPort)
    : LinkBase(*context.sleeper),
      FCmd(cmd),
      FsPort(std::move(sPort)),
      FSink(std::move(context.sink)),
      FMemory(std::move(context.memory)) {}

TCommThread::~TCommThread() { closePort(); }

void TCommThread::Create(RunContext context, TCmd cmd, const std::string& sPort) {
  std::unique_ptr<TCommThread> worker = CommThreadClass(std::move(context), cmd, sPort);
  workerStarted();
  try {
    std::thread([w = std::move(worker)]() mutable {
      w->Execute();
      w.reset();
      workerEnded();
    }).detach();
  } catch (...) {
    workerEnded();
    throw;
  }
}

void TCommThread::Execute() {
  try {
    FhPort = openPort();
    if (!FhPort) throw EQorn(kErrPortNotReady);
    try {
      resetProgress();
      sendCommand(false, kNullCommand);
      sleepMs(kWakePauseMs);
      sendCommand(false, kNullCommand);
      sleepMs(kWakePauseMs);
      runCommand();
    } catch (...) {
      closePort();
      throw;
    }
    closePort();
    post(kEvSuccess, FCmd);
  } catch (const EQorn& e) {
    if (e.iException == kErrNoAnswer) {
      post(kEvNoAnswer, FCmd);
    } else {
      post(kEvError, e.iException);
    }
  } catch (...) {
    post(kEvError, kErrFatal);
  }
}

PortHandle TCommThread::openPort() { return rs232Open(FsPort, kBaudRate); }

void TCommThread::setProgress(std::int32_t index, std::int32_t total) {
  // Wider arithmetic than the percentage needs, so a huge index cannot overflow.
  std::int64_t p = total == 0 ? 0 : std::int64_t{index} * 99 / total;
  if (p < 0) p = 0;
  if (p > 99) p = 99;
  if (p != FnProgres) {
    FnProgres = static_cast<std::int32_t>(p);
    post(kEvProgress, FnProgres);
  }
}

std::uint16_t TCommThread::calculateCRC16(std::uint16_t upid_id, std::uint16_t upid_info,
                                          std::uint16_t upid_platform, std::uint16_t upid_print,
                                          std::uint16_t upid_reserve) const {
  // The logger stores its update identity block low byte first.
  const std::uint16_t words[] = {upid_id, upid_info, upid_platform, upid_print, upid_reserve};
  std::uint8_t bytes[10];
  for (std::size_t i = 0; i < 5; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
  }
  return crc16(bytes, 10);
}

void TCommThread::closePort() {
  if (FhPort) rs232Close(FhPort);
}

}  // namespace zorvik
