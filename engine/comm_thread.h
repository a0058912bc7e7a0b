// The update thread: owns the serial port for one run, wakes the logger, runs
// the procedure of its command, closes the port and posts exactly one final
// event (0, 10 or 13), always after the port is closed. The thread object
// frees itself when its body returns; nobody joins it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "event_sink.h"
#include "link.h"

namespace zorvik {

enum TCmd : std::uint8_t { tCMD0 = 0, tCMD1 = 1, tCMD2 = 2, tCMD_TEST = 3 };

// What one update remembers across its automatic repeats: the application
// version and serial number that an attempt read before it switched the
// logger into its bootloader. A repeat that finds the bootloader at once uses
// them, so the pinned-version rule still holds for it. Written by the update
// thread, read by the next attempt's thread; the front end only passes the
// same object to every attempt of one update.
struct UpdateMemory {
  std::atomic<std::uint16_t> appVersion{0};
  std::atomic<std::uint32_t> serialNumber{0};
};

// Everything a run gets besides the command and the port.
struct RunContext {
  std::shared_ptr<EventSink> sink;
  std::shared_ptr<UpdateMemory> memory;  // may be null: nothing is carried
  Sleeper* sleeper = &realSleeper();
};

class TCommThread : public LinkBase {
 public:
  ~TCommThread() override;

  // Creates and starts a worker of the class in CommThreadClass.
  static void Create(RunContext context, TCmd cmd, const std::string& sPort);

  void setProgress(std::int32_t index, std::int32_t total);
  void resetProgress() { FnProgres = 0; }
  std::uint16_t calculateCRC16(std::uint16_t upid_id, std::uint16_t upid_info,
                               std::uint16_t upid_platform, std::uint16_t upid_print,
                               std::uint16_t upid_reserve) const;
  void closePort();

  // Normally reached through Create; public so that a test or a fuzzer can
  // build a worker and run its body in place.
  TCommThread(RunContext context, TCmd cmd, std::string sPort);
  void Execute();

 protected:

  virtual void runUpdate() {}
  virtual void runCommand() { runUpdate(); }
  // The port of this run: FsPort opened at 9600 baud. A test or a fuzzer
  // hands over a port of its own here; the rest of the run is unchanged.
  virtual PortHandle openPort();

  void post(std::uint32_t code, std::int32_t value) const { FSink->post(code, value); }

  TCmd FCmd;
  std::string FsPort;
  std::int32_t FnProgres = 0;
  std::shared_ptr<EventSink> FSink;  // stands where the window handle stood
  std::shared_ptr<UpdateMemory> FMemory;
};

// Waits until every worker has ended and freed itself (the port released);
// false when the timeout passed first. For a front end that is quitting.
bool waitForWorkers(std::chrono::milliseconds timeout);

// The worker class the front ends instantiate, as a factory.
using CommThreadFactory = std::unique_ptr<TCommThread> (*)(RunContext, TCmd, const std::string&);
extern CommThreadFactory CommThreadClass;

template <class T>
std::unique_ptr<TCommThread> makeCommThread(RunContext context, TCmd cmd, const std::string& sPort) {
  return std::make_unique<T>(std::move(context), cmd, sPort);
}

}  // namespace zorvik
