// Everything one run needs, as a value: which port, which rules, which
// images, what the update has learnt so far, how to cancel it and how to
// pause. A front end builds one per update and hands a copy to each of the
// update's automatic repeats; runs share nothing else.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/run_options.h"
#include "images/catalogue.h"
#include "link/cancel_token.h"
#include "link/line_trace.h"
#include "link/sleeper.h"

namespace zorvik::engine {

// Run commands; front ends start only Update, the others are reserved.
enum class RunCommand : std::uint8_t { Update = 0, Reserved1 = 1, Reserved2 = 2, Test = 3 };

// What one update remembers across its automatic repeats: the application
// version and serial number that an attempt read before it switched the
// logger into its bootloader. A repeat that finds the bootloader at once uses
// them, so the pinned-version rule still holds for it. Written by one
// attempt's thread, read by the next attempt's thread, which starts only
// after the first has ended; atomic so that this needs no further argument.
struct UpdateMemory {
  std::atomic<std::uint16_t> appVersion{0};
  std::atomic<std::uint32_t> serialNumber{0};
};

struct RunRequest {
  std::string port;
  std::string adapterSerial;  // the USB adapter's serial number, for records; may be empty
  RunOptions options;
  images::ImageSource images;  // the built-in images, or one loaded file
  RunCommand command = RunCommand::Update;
  std::shared_ptr<UpdateMemory> memory = std::make_shared<UpdateMemory>();
  link::CancelToken cancel;
  // The protocol's fixed pauses; serial timeouts are always real.
  std::shared_ptr<link::Sleeper> sleeper = std::make_shared<link::ThreadSleeper>();
  // Every byte on the port and every event, when given.
  std::shared_ptr<link::LineTrace> trace;
};

}  // namespace zorvik::engine
