#include "tools/fault_campaign/scenario.h"

#include "images/catalogue.h"
#include "images/identity_tables.h"
#include "sim/logger_for_image.h"

namespace zorvik::campaign {
namespace {

using namespace std::chrono_literals;

// A full update sends about 115,000 characters.
constexpr std::uint64_t kUpdateChars = 115'000;

// Noise that never stops, light enough that most updates get through.
sim::RandomFaults background(sim::SplitMix64& r) {
  sim::RandomFaults f;
  const double level = 1e-6 * static_cast<double>(r.upTo(4));
  f.dropChar = f.corruptChar = f.duplicateChar = level;
  f.delayChar = level;
  f.silence = 0.0002 * static_cast<double>(r.upTo(3));
  f.slowReboot = 0.25;
  f.alteredEcho = 0.0002;
  f.hangUpInImage = 0.0001;
  return f;
}

// A short stretch of very bad line somewhere in the update: retries run out.
sim::RandomFaults burst(sim::SplitMix64& r) {
  sim::RandomFaults f;
  const double level = 0.002 * static_cast<double>(r.upTo(10));
  f.dropChar = f.corruptChar = f.duplicateChar = f.delayChar = level;
  f.silence = 0.05;
  f.maxSilence = 2000ms;
  f.slowReboot = 0.5;
  f.alteredEcho = 0.01;
  f.firstChar = r.next() % kUpdateChars;
  f.chars = 200 + r.next() % 2000;
  return f;
}

// A logger that keeps falling silent and comes back late after restarts.
sim::RandomFaults deafLogger(sim::SplitMix64& r) {
  sim::RandomFaults f;
  f.silence = 0.001 * static_cast<double>(r.upTo(3));
  f.maxSilence = 1000ms;
  f.slowReboot = 0.6;
  f.maxExtraReboot = 4000ms;
  return f;
}

}  // namespace

Scenario scenarioFor(std::uint64_t seed) {
  sim::SplitMix64 r(seed ^ 0x5A0C1E5EEDULL);
  Scenario s;
  s.seed = seed;
  s.image = static_cast<int>(r.upTo(images::kBuiltInImageCount));
  s.config = sim::loggerFor(s.image);
  sim::RandomFaults faults;
  switch (r.next() % 10) {
    case 0:
      s.profile = "clean";
      return s;
    case 1: case 2: case 3: case 4:
      s.profile = "background";
      faults = background(r);
      break;
    case 5: case 6: case 7:
      s.profile = "burst";
      faults = burst(r);
      break;
    default:
      s.profile = "deaf logger";
      faults = deafLogger(r);
      break;
  }
  faults.seed = r.next();
  s.config.randomFaults = faults;
  return s;
}

}  // namespace zorvik::campaign
