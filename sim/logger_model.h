// Private to its library.
// The logger's side of the protocol as a pure state machine: fed the bytes
// that arrived and when, it tells what to answer and when the answer starts on
// the line. No I/O and no threads, so the protocol can be tested byte for byte
// and the pty server stays a thin shell around it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "images/record_codec.h"
#include "sim/simulated_logger.h"

namespace zorvik::sim {

using SimClock = std::chrono::steady_clock;

// Silence (real time) after which a partial request is thrown away, so that the
// logger finds the start of the next request after garbage.
constexpr std::chrono::milliseconds kResyncSilence{50};
// Delay of a LateAnswer fault in real time, whatever the clock scale: past the
// host's longest read timeout (339 ms).
constexpr std::chrono::milliseconds kLateAnswerDelay{400};

struct TimedReply {
  std::string bytes;
  SimClock::time_point start;  // when its first character starts on the line
};

struct ModelOutput {
  std::vector<TimedReply> replies;
  bool hangUp = false;  // the line is dead from now on
};

const char* requestName(Request kind);

class LoggerModel {
 public:
  explicit LoggerModel(const LoggerConfig& config);

  ModelOutput receive(std::string_view bytes, SimClock::time_point now);
  void injectFault(const Fault& fault);

  // One character on the line (10 bits at 9600 baud, scaled); zero without wire timing.
  SimClock::duration charTime() const { return charTime_; }

  // Settles a restart whose time is up before answering.
  Mode mode(SimClock::time_point now);
  const std::vector<Request>& requests() const { return requests_; }
  const std::vector<FlashWrite>& flashWrites() const { return writes_; }
  const std::map<std::uint16_t, std::string>& flash() const { return flash_; }
  bool programmingOpen() const { return programming_; }
  int restarts() const { return restarts_; }
  // What the application reports while it runs.
  std::uint16_t applicationClass() const { return appClass_; }
  std::uint16_t applicationVersion() const { return appVersion_; }
  // Address the update-ID request must carry: the start of the platform's
  // first memory segment, in 64-byte blocks for the third bootloader generation.
  std::uint16_t updateIdAddress() const;
  // Random line faults injected so far (all zero without randomFaults).
  LineFaultCounts lineFaultCounts() const;

 private:
  struct Pending {
    std::string bytes;
    SimClock::time_point lastArrival{};
    bool discarding = false;  // length unknown: drop everything until a silence
  };

  void receiveByte(char byte, SimClock::time_point now, ModelOutput& out);
  std::optional<std::size_t> expectedLength();
  void settle(SimClock::time_point at);
  void process(const std::string& request, SimClock::time_point completeAt, ModelOutput& out);
  // Random faults for an understood request: true when it is not answered.
  bool randomRequestFault(Request kind, SimClock::time_point completeAt, ModelOutput& out);
  void sendAnswer(std::string answer, SimClock::time_point start, ModelOutput& out);
  std::optional<Fault> takeFault(Request kind);
  Request classifyFrame(const std::string& frame) const;
  bool takesOldEntryFrame() const;
  Request classifyRecord(const images::RecordBytes& record) const;
  std::optional<std::string> answerFrame(Request kind, const std::string& frame,
                                         SimClock::time_point at);
  std::optional<std::string> answerRecord(Request kind, const images::RecordBytes& record,
                                          const std::string& line, SimClock::time_point at);
  std::string infoAnswer() const;
  std::string updateIdAnswer(std::uint16_t address) const;
  void openProgramming();
  void endProgramming(SimClock::time_point at);
  void restart(SimClock::time_point at, Mode target);
  void identifyProgrammedImage();
  bool commandByteFits(std::uint8_t data, std::uint8_t generation3, std::uint8_t generation1) const;

  LoggerConfig config_;
  SimClock::duration charTime_{};
  Mode mode_;
  Mode modeAfterRestart_ = Mode::Application;
  SimClock::time_point restartDoneAt_{};
  SimClock::time_point rxLineFreeAt_{};
  SimClock::time_point txLineFreeAt_{};
  Pending pending_;
  std::deque<Fault> faults_;
  std::optional<LineFaultInjector> lineFaults_;
  SimClock::time_point deafUntil_{};  // a silent period of the random faults
  std::vector<Request> requests_;
  std::vector<FlashWrite> writes_;
  std::map<std::uint16_t, std::string> flash_;
  bool programming_ = false;
  int restarts_ = 0;
  std::uint16_t appClass_;
  std::uint16_t appVersion_;
};

}  // namespace zorvik::sim
