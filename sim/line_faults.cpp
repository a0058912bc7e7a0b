#include "sim/line_faults.h"

namespace zorvik::sim {

const char* lineFaultName(LineFault kind) {
  switch (kind) {
    case LineFault::DroppedChar: return "dropped char";
    case LineFault::CorruptedChar: return "corrupted char";
    case LineFault::DuplicatedChar: return "duplicated char";
    case LineFault::DelayedChar: return "delayed char";
    case LineFault::Silence: return "silent period";
    case LineFault::SlowReboot: return "slow reboot";
    case LineFault::AlteredEcho: return "altered echo";
    case LineFault::HangUp: return "hang-up";
  }
  return "?";
}

std::uint64_t LineFaultCounts::total() const {
  std::uint64_t sum = 0;
  for (const auto n : byKind) sum += n;
  return sum;
}

bool LineFaultCounts::hostSideDamage() const {
  return towardsLogger + (*this)[LineFault::Silence] > 0;
}

LineFaultCounts& LineFaultCounts::operator+=(const LineFaultCounts& other) {
  for (std::size_t i = 0; i < kLineFaultKinds; ++i) byKind[i] += other.byKind[i];
  towardsLogger += other.towardsLogger;
  return *this;
}

std::uint64_t SplitMix64::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double SplitMix64::unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

bool SplitMix64::chance(double probability) { return probability > 0 && unit() < probability; }

std::int64_t SplitMix64::upTo(std::int64_t max) {
  if (max <= 1) return 1;
  return 1 + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(max));
}

LineFaultInjector::LineFaultInjector(const RandomFaults& faults) : faults_(faults), random_(faults.seed) {}

bool LineFaultInjector::active() const {
  if (hostChars_ < faults_.firstChar) return false;
  return hostChars_ - faults_.firstChar < faults_.chars;
}

char LineFaultInjector::corrupt(char c) {
  const auto bit = static_cast<unsigned>(random_.next() % 8);
  return static_cast<char>(static_cast<unsigned char>(c) ^ (1u << bit));
}

std::string LineFaultInjector::incoming(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 4);
  for (const char c : bytes) {
    const bool strike = active();
    ++hostChars_;
    if (!strike) {
      out.push_back(c);
    } else if (random_.chance(faults_.dropChar)) {
      countTowardsLogger(LineFault::DroppedChar);
    } else if (random_.chance(faults_.corruptChar)) {
      countTowardsLogger(LineFault::CorruptedChar);
      out.push_back(corrupt(c));
    } else if (random_.chance(faults_.duplicateChar)) {
      countTowardsLogger(LineFault::DuplicatedChar);
      out.append(2, c);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::vector<LineFaultInjector::Piece> LineFaultInjector::outgoing(std::string_view answer) {
  std::vector<Piece> pieces(1);
  for (const char c : answer) {
    if (!active()) {
      pieces.back().bytes.push_back(c);
      continue;
    }
    if (random_.chance(faults_.delayChar)) {
      count(LineFault::DelayedChar);
      pieces.push_back({{}, std::chrono::milliseconds(random_.upTo(faults_.maxCharDelay.count()))});
    }
    if (random_.chance(faults_.dropChar)) {
      count(LineFault::DroppedChar);
    } else if (random_.chance(faults_.corruptChar)) {
      count(LineFault::CorruptedChar);
      pieces.back().bytes.push_back(corrupt(c));
    } else if (random_.chance(faults_.duplicateChar)) {
      count(LineFault::DuplicatedChar);
      pieces.back().bytes.append(2, c);
    } else {
      pieces.back().bytes.push_back(c);
    }
  }
  return pieces;
}

LineFaultInjector::Duration LineFaultInjector::silence() {
  if (!active() || !random_.chance(faults_.silence)) return Duration::zero();
  count(LineFault::Silence);
  return std::chrono::milliseconds(random_.upTo(faults_.maxSilence.count()));
}

LineFaultInjector::Duration LineFaultInjector::rebootExtra() {
  if (!active() || !random_.chance(faults_.slowReboot)) return Duration::zero();
  count(LineFault::SlowReboot);
  return std::chrono::milliseconds(random_.upTo(faults_.maxExtraReboot.count()));
}

bool LineFaultInjector::alterEcho() {
  if (!active() || !random_.chance(faults_.alteredEcho)) return false;
  count(LineFault::AlteredEcho);
  return true;
}

bool LineFaultInjector::hangUp() {
  if (!active() || !random_.chance(faults_.hangUpInImage)) return false;
  count(LineFault::HangUp);
  return true;
}

}  // namespace zorvik::sim
