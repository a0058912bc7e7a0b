// Private to its library.
// Seeded random faults of a bad cable and a moody logger: characters lost,
// damaged, doubled or held up on the line (both ways), requests met with a
// silent period, restarts that take longer than they should, echoes that
// differ and a line that goes dead in the middle of an image.
//
// Every decision comes from one generator seeded from RandomFaults::seed and
// is drawn in the order the traffic happens, so the same seed and the same
// traffic give the same faults. (Host timing can change the traffic: a retry
// that comes sooner or later is different traffic.)
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik::sim {

// Probabilities are per character or per request, from 0 (never) to 1.
struct RandomFaults {
  std::uint64_t seed = 0;

  // Per character, on its way to the logger or back.
  double dropChar = 0;
  double corruptChar = 0;    // one bit flipped
  double duplicateChar = 0;
  // Per answer character: it, and the rest of the answer behind it, held up.
  double delayChar = 0;
  std::chrono::milliseconds maxCharDelay{300};

  // Per request the logger understood: it ignores the request and stays deaf
  // for a while.
  double silence = 0;
  std::chrono::milliseconds maxSilence{1000};
  // Per restart (bootloader entry, end record): it takes up to this much longer.
  double slowReboot = 0;
  std::chrono::milliseconds maxExtraReboot{3000};
  // Per data line: its echo comes back with one digit changed (checksum right).
  double alteredEcho = 0;
  // Per data line: the line goes dead instead of echoing.
  double hangUpInImage = 0;

  // Faults strike only while the number of characters the host has sent so
  // far lies in [firstChar, firstChar + chars): a burst of bad line amid good
  // traffic. A host character counts after its own fault was decided.
  std::uint64_t firstChar = 0;
  std::uint64_t chars = std::numeric_limits<std::uint64_t>::max();
};

enum class LineFault {
  DroppedChar,
  CorruptedChar,
  DuplicatedChar,
  DelayedChar,
  Silence,
  SlowReboot,
  AlteredEcho,
  HangUp,
};
constexpr std::size_t kLineFaultKinds = 8;
const char* lineFaultName(LineFault kind);

// How many faults of each kind were injected.
struct LineFaultCounts {
  std::array<std::uint64_t, kLineFaultKinds> byKind{};
  // Of the character faults, those on the way to the logger.
  std::uint64_t towardsLogger = 0;

  std::uint64_t operator[](LineFault kind) const { return byKind[static_cast<std::size_t>(kind)]; }
  std::uint64_t total() const;
  // Damage to what the host sent, or a deaf logger: it may have missed a
  // request that gets no answer (an entry frame, the end record) or taken a
  // damaged request for another one.
  bool hostSideDamage() const;
  LineFaultCounts& operator+=(const LineFaultCounts& other);
};

// SplitMix64: small, fast, and the same everywhere (std::random_device and
// the distributions of <random> are not).
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // Uniform in [0, 1).
  double unit();
  bool chance(double probability);
  // Uniform in [1, max]; 1 when max is below 1.
  std::int64_t upTo(std::int64_t max);

 private:
  std::uint64_t state_;
};

class LineFaultInjector {
 public:
  using Duration = std::chrono::steady_clock::duration;

  explicit LineFaultInjector(const RandomFaults& faults);

  // Host to logger: the characters the logger really gets.
  std::string incoming(std::string_view bytes);

  // Logger to host: one answer as it leaves, in pieces; each piece starts
  // `delay` after the one before it has finished.
  struct Piece {
    std::string bytes;
    Duration delay{};
  };
  std::vector<Piece> outgoing(std::string_view answer);

  // Per-request decisions; zero or false means none.
  Duration silence();
  Duration rebootExtra();
  bool alterEcho();
  bool hangUp();

  const LineFaultCounts& counts() const { return counts_; }

 private:
  bool active() const;
  void count(LineFault kind) { ++counts_.byKind[static_cast<std::size_t>(kind)]; }
  void countTowardsLogger(LineFault kind) {
    count(kind);
    ++counts_.towardsLogger;
  }
  char corrupt(char c);

  RandomFaults faults_;
  SplitMix64 random_;
  std::uint64_t hostChars_ = 0;
  LineFaultCounts counts_;
};

}  // namespace zorvik::sim
