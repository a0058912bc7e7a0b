// Summaries and table rows shared by the benchmark programs. Every figure is
// the median of several runs with the spread (min–max) beside it, so a
// single lucky or unlucky run never decides a pass.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace zorvik::bench {

struct Summary {
  double median = 0;
  double min = 0;
  double max = 0;
  std::size_t runs = 0;
};

inline Summary summarize(std::vector<double> values) {
  Summary s;
  s.runs = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  s.median = values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
  s.min = values.front();
  s.max = values.back();
  return s;
}

enum class Goal { AtMost, Below, None };

struct Target {
  Goal goal = Goal::None;
  double limit = 0;
  std::string text;  // as shown in the table, "≤ 1.002"
};

inline std::string format(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

// The median decides; the spread is shown so the reader can judge how firm it is.
inline std::string verdict(const Summary& s, const Target& t) {
  switch (t.goal) {
    case Goal::AtMost: return s.median <= t.limit ? "pass" : "**miss**";
    case Goal::Below: return s.median < t.limit ? "pass" : "**miss**";
    case Goal::None: return "—";
  }
  return "—";
}

// One Markdown table row: figure | median | min–max | runs | target | result.
// bench.sh collects the lines that start with "| ".
inline void printRow(const std::string& figure, const Summary& s, const std::string& unit, int decimals,
                     const Target& target) {
  const std::string u = unit.empty() ? "" : " " + unit;
  std::printf("| %s | %s%s | %s–%s | %zu | %s | %s |\n", figure.c_str(), format(s.median, decimals).c_str(),
              u.c_str(), format(s.min, decimals).c_str(), format(s.max, decimals).c_str(), s.runs,
              target.text.empty() ? "—" : target.text.c_str(), verdict(s, target).c_str());
  std::fflush(stdout);
}

}  // namespace zorvik::bench
