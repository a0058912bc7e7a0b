// Private to its library.
// The simulated logger in replay mode: instead of running the protocol it
// answers as a traced logger answered (a trace file written by the updater's
// --trace, format in docs/trace-format.md), so that a failure seen in the
// field can be reproduced on a desk from its trace alone.
//
// The trace is a sequence of exchanges: what the updater wrote, then what it
// read until its next write. The replay matches the updater's requests
// against those writes in order and answers each with the bytes the traced
// logger sent back at that point. A read that came back empty in the trace is
// silence here too, so the updater's timeouts fall where they fell. A request
// that differs from the trace, or one beyond its end, stops the replay: it
// says so and answers nothing from then on (any answer after a difference
// would be a guess).
//
// ReplayModel is the pure part (bytes and times in, answers out, no I/O), in
// the manner of LoggerModel; ReplayLogger is its pseudo-terminal shell.
#pragma once

#include <chrono>
#include <cstddef>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/logger_model.h"

namespace zorvik::sim {

// Bytes of one or more reads of an exchange, sent `after` the request is
// complete.
struct ReplayChunk {
  std::string bytes;
  std::chrono::microseconds after{0};
  friend bool operator==(const ReplayChunk&, const ReplayChunk&) = default;
};

struct ReplayExchange {
  std::string request;              // what the updater wrote
  std::vector<ReplayChunk> answer;  // none: the traced logger was silent
  // The port failed (a read or write call) this long after the request:
  // the replay hangs up the line then.
  std::optional<std::chrono::microseconds> hangUpAfter;
  std::size_t traceLine = 0;  // line of the request in the trace file, from 1
  friend bool operator==(const ReplayExchange&, const ReplayExchange&) = default;
};

struct ReplayScript {
  std::vector<ReplayExchange> exchanges;
  // The trace reached its size limit at this line (0: it did not). The
  // exchange in progress at the cut is left out: its answer may be incomplete.
  std::size_t cutLine = 0;
};

struct ReplayScriptResult {
  std::optional<ReplayScript> script;
  std::string error;  // why there is none, naming the line
};

// Reads a trace file's text into the exchanges to replay.
ReplayScriptResult readReplayScript(std::istream& in);
ReplayScriptResult loadReplayScript(const std::string& path);

// After a read came back empty, later bytes of the same exchange are sent
// this much after the moment that read ended in the trace, so that the
// updater's read which timed out then times out again.
constexpr std::chrono::milliseconds kReplayLateMargin{20};

struct ReplayOutput {
  std::vector<TimedReply> replies;
  std::optional<SimClock::time_point> hangUpAt;
  std::vector<std::string> messages;  // for a person: why the replay stopped, or that it is complete
};

class ReplayModel {
 public:
  explicit ReplayModel(ReplayScript script);

  ReplayOutput receive(std::string_view bytes, SimClock::time_point now);

  // Requests of the trace met so far (answered, or silent as traced).
  std::size_t matched() const { return next_; }
  std::size_t exchangeCount() const { return script_.exchanges.size(); }
  // A request differed or went beyond the trace: nothing is answered any more.
  bool stopped() const { return stopped_; }

 private:
  void complete(const ReplayExchange& exchange, SimClock::time_point now, ReplayOutput& out);
  std::string differsMessage(const ReplayExchange& exchange, std::string_view sent) const;
  std::string beyondMessage(std::string_view sent) const;

  ReplayScript script_;
  std::size_t next_ = 0;     // exchange whose request is arriving
  std::size_t arrived_ = 0;  // bytes of its request that arrived and matched
  bool stopped_ = false;
};

// The replay on a pseudo-terminal, like SimulatedLogger.
class ReplayLogger {
 public:
  explicit ReplayLogger(ReplayScript script);
  ~ReplayLogger();
  ReplayLogger(const ReplayLogger&) = delete;
  ReplayLogger& operator=(const ReplayLogger&) = delete;

  // Opens the pseudo-terminal and starts answering. False if no pty is available.
  bool start();
  void stop();
  std::string devicePath() const;

  // Safe to call from any thread.
  std::size_t matched() const;
  std::size_t exchangeCount() const;
  bool stopped() const;
  // The model's messages since the last call.
  std::vector<std::string> takeMessages();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorvik::sim
