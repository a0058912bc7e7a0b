// Micro-benchmarks of the record codec and the firmware catalogue: the work
// the update thread does per line besides waiting for the wire.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "images/catalogue.h"
#include "images/record_codec.h"

namespace {

using zorvik::images::RecordBytes;

// A 64-byte data line of image 12, as the update thread sends it.
std::string sampleLine() { return std::string(zorvik::images::ImageSource().line(12, 0)); }

void BM_EncodeRecord(benchmark::State& state) {
  RecordBytes record{};
  if (!zorvik::images::decodeRecord(sampleLine(), record)) {
    state.SkipWithError("sample line does not decode");
    return;
  }
  std::string line;
  for (auto _ : state) {
    benchmark::DoNotOptimize(record);
    const bool ok = zorvik::images::encodeRecord(record, line);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(line.data());
  }
  state.SetLabel(std::to_string(line.size()) + " chars");
}
BENCHMARK(BM_EncodeRecord);

void BM_DecodeRecord(benchmark::State& state) {
  const std::string line = sampleLine();
  RecordBytes record{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(line.data());
    const bool ok = zorvik::images::decodeRecord(line, record);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(record.data());
  }
  state.SetLabel(std::to_string(line.size()) + " chars");
}
BENCHMARK(BM_DecodeRecord);

// Every line of every image of one run's image sources, as programming reads
// them: last line index, then each line by index.
std::int64_t readAllLines(const std::vector<std::pair<zorvik::images::ImageSource, int>>& sources) {
  std::int64_t lines = 0;
  for (const auto& [source, image] : sources) {
    const int last = source.lastLine(image);
    for (int i = 0; i <= last; ++i) {
      const std::string_view text = source.line(image, i);
      benchmark::DoNotOptimize(text.data());
      ++lines;
    }
  }
  return lines;
}

void runAllLines(benchmark::State& state, const std::vector<std::pair<zorvik::images::ImageSource, int>>& sources) {
  std::int64_t lines = 0;
  for (auto _ : state) lines = readAllLines(sources);
  state.SetItemsProcessed(state.iterations() * lines);
  state.SetLabel(std::to_string(lines) + " lines");
}

// The twelve built-in images.
void BM_CatalogueAllLines(benchmark::State& state) {
  const zorvik::images::ImageSource builtIn;
  std::vector<std::pair<zorvik::images::ImageSource, int>> sources;
  for (int image = builtIn.firstIndex(); image <= builtIn.lastIndex(); ++image) sources.emplace_back(builtIn, image);
  runAllLines(state, sources);
}
BENCHMARK(BM_CatalogueAllLines)->Unit(benchmark::kMicrosecond);

// The same lines as twelve loaded image files, each the one image of its source.
void BM_CatalogueAllLinesFromFile(benchmark::State& state) {
  const zorvik::images::ImageSource builtIn;
  std::vector<std::pair<zorvik::images::ImageSource, int>> sources;
  for (int image = builtIn.firstIndex(); image <= builtIn.lastIndex(); ++image) {
    auto file = std::make_shared<zorvik::images::ImageFile>();
    file->header = zorvik::images::builtInHeader(image);
    for (int i = 0; i <= builtIn.lastLine(image); ++i) file->lines.emplace_back(builtIn.line(image, i));
    sources.emplace_back(zorvik::images::ImageSource(std::move(file)), zorvik::images::kFileImageIndex);
  }
  runAllLines(state, sources);
}
BENCHMARK(BM_CatalogueAllLinesFromFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
