// What a run tells its front end: (event, value) pairs posted in order, each
// run ending with exactly one final event (0, 10 or 13). Event and error
// numbers are an outside contract (scripts read them); error codes are in
// engine/update_error.h.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/update_error.h"
#include "images/image_header.h"
#include "link/failure.h"

namespace zorvik::engine {

enum EventCode : std::uint32_t {
  kEvSuccess = 0,           // final: value = command ordinal; image = the one sent
  kEvProgress = 1,          // value = percentage 0-99; lines = how far the image has gone
  kEvError = 10,            // final: value = error code
  kEvEchoMismatch = 11,     // value = line index; error 44 follows
  kEvBadLine = 12,          // value = line index; error 43 follows
  kEvNoAnswer = 13,         // final: value = command ordinal; the front end repeats
  kEvClass = 20,
  kEvVersion = 21,
  kEvPlatform = 22,
  kEvPrint = 23,
  kEvInfo = 24,
  kEvUpdateClass = 25,
  kEvProgramming = 26,      // value = command ordinal; image = the one chosen
  kEvCandidate = 27,        // value = image index; image = its header
  kEvUpdateInfo = 28,
  kEvVectorTable = 40,      // 0 held back, 1 about to be sent
};

// What a run learnt of the logger and what it chose, as far as it got;
// carried by its final event for whoever keeps a record of updates.
struct RunSummary {
  std::uint16_t updateClass = 0xFFFF;    // the logger's model, from its update identity
  std::uint16_t applicationVersion = 0;  // before the update; 0 unknown
  std::uint32_t serialNumber = 0;        // 0 unknown
  int image = -1;                        // chosen index in the request's images; -1 none
  bool imageSent = false;                // every line and the end record went out
  friend bool operator==(const RunSummary&, const RunSummary&) = default;
};

// The image's lines gone through (sent, or passed over as no data for the
// logger) of all it has before its end record.
struct LineCount {
  std::int32_t done = 0;
  std::int32_t total = 0;
  friend bool operator==(const LineCount&, const LineCount&) = default;
};

struct RunEvent {
  RunEvent() = default;
  RunEvent(std::uint32_t eventCode, std::int32_t eventValue, std::optional<images::ImageHeader> eventImage = std::nullopt,
           std::optional<RunSummary> eventSummary = std::nullopt, link::Failure eventFailure = {})
      : code(eventCode),
        value(eventValue),
        image(std::move(eventImage)),
        summary(std::move(eventSummary)),
        failure(std::move(eventFailure)) {}

  std::uint32_t code = 0;
  std::int32_t value = 0;
  // Events 0, 26 and 27 carry the image they speak of, so that wording an
  // event never has to look up which image a run chose.
  std::optional<images::ImageHeader> image;
  // Final events (0, 10, 13) of a run that got as far as opening its port,
  // and the first event after the run learnt something new.
  std::optional<RunSummary> summary;
  // Final events 10 and 13: which way the port or the logger failed, where
  // the link could tell (kind None otherwise).
  link::Failure failure;
  // Progress events (1) of a run programming an image.
  std::optional<LineCount> lines;
};

inline bool isFinalEvent(std::uint32_t code) {
  return code == kEvSuccess || code == kEvError || code == kEvNoAnswer;
}

}  // namespace zorvik::engine
