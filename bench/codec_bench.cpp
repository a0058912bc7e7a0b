// Micro-benchmarks of the record codec and the firmware catalogue: the work
// the update thread does per line besides waiting for the wire.
#include <benchmark/benchmark.h>

#include <string>

#include "catalogue.h"
#include "record_codec.h"

namespace {

using zorvik::RecordBytes;

// A 64-byte data line of image 12, as the update thread sends it.
std::string sampleLine() {
  zorvik::TBl3FileHeader header;
  int last = 0;
  std::string text;
  zorvik::QueryFirmware(12, zorvik::kQueryLine, 0, header, last, text);
  return text;
}

void BM_EncodeRecord(benchmark::State& state) {
  RecordBytes record{};
  if (!zorvik::decodeRecord(sampleLine(), record)) {
    state.SkipWithError("sample line does not decode");
    return;
  }
  std::string line;
  for (auto _ : state) {
    benchmark::DoNotOptimize(record);
    const bool ok = zorvik::encodeRecord(record, line);
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
    const bool ok = zorvik::decodeRecord(line, record);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(record.data());
  }
  state.SetLabel(std::to_string(line.size()) + " chars");
}
BENCHMARK(BM_DecodeRecord);

// Every line of every built-in image through the catalogue's one query.
void BM_CatalogueAllLinesQuery(benchmark::State& state) {
  zorvik::TBl3FileHeader header;
  std::string text;
  std::int64_t lines = 0;
  for (auto _ : state) {
    lines = 0;
    for (int image = 1; image <= zorvik::FirmwareImageCount(); ++image) {
      int last = 0;
      zorvik::QueryFirmware(image, zorvik::kQueryLastIndex, 0, header, last, text);
      for (int i = 0; i <= last; ++i) {
        int unused = 0;
        zorvik::QueryFirmware(image, zorvik::kQueryLine, i, header, unused, text);
        benchmark::DoNotOptimize(text.data());
        ++lines;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * lines);
  state.SetLabel(std::to_string(lines) + " lines");
}
BENCHMARK(BM_CatalogueAllLinesQuery)->Unit(benchmark::kMicrosecond);

// The same through the selection, as programming reads them.
void BM_CatalogueAllLinesSelected(benchmark::State& state) {
  std::int64_t lines = 0;
  for (auto _ : state) {
    lines = 0;
    for (int image = 1; image <= zorvik::FirmwareImageCount(); ++image) {
      zorvik::SelectedImage = image;
      const int last = zorvik::GetFirmwareLastLine();
      for (int i = 0; i <= last; ++i) {
        std::string text = zorvik::GetFirmwareLine(i);
        benchmark::DoNotOptimize(text.data());
        ++lines;
      }
    }
  }
  zorvik::SelectedImage = -1;
  state.SetItemsProcessed(state.iterations() * lines);
  state.SetLabel(std::to_string(lines) + " lines");
}
BENCHMARK(BM_CatalogueAllLinesSelected)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
