// The station's waiting for a front end without an event loop of its own
// (the command line): a thread sleeps on the link directory and on the
// operator's interrupt and queues what changed; the runs queue their events;
// the front end's thread takes each in turn and hands it to the station, and
// keeps the pauses before repeats. Nothing is polled: an idle station
// sleeps until a link changes or the operator stops it.
#pragma once

#include <filesystem>
#include <memory>

#include "station/production_station.h"

namespace zorvik::station {

class StationLoop {
 public:
  // `interruptFd` becomes readable when the operator stops the station
  // (the command line's Ctrl-C); -1: only stop() ends it.
  StationLoop(std::filesystem::path watchDir, int interruptFd);
  ~StationLoop();
  StationLoop(const StationLoop&) = delete;
  StationLoop& operator=(const StationLoop&) = delete;

  // For StationSetup::sink: the runs' events come back through the loop.
  std::shared_ptr<StationSink> sink() const;

  // Begins the station and feeds it until it has been stopped and every run
  // has ended. The links already in the directory count as plugged in.
  void run(Station& station);

  // Stops the station from another thread, as the interrupt would.
  void stop();

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace zorvik::station
