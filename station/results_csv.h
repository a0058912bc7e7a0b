// The station's results as a CSV file the operator keeps with the batch:
// one record per unit, written the moment its result is known, so a
// station that is killed or loses power keeps every result before that.
// A file that exists is added to, never emptied: an earlier run's results
// are not lost to a name given twice.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "station/production_station.h"

namespace zorvik::station {

class ResultsCsv {
 public:
  // Null, with the reason in `error`, when the file cannot be written. A new
  // or empty file gets the header line first.
  static std::unique_ptr<ResultsCsv> open(const std::filesystem::path& path, std::string& error);

  // False when the record could not be written (a full disk, say).
  bool append(const UnitResult& result, std::chrono::system_clock::time_point at);

  const std::filesystem::path& path() const { return path_; }

 private:
  ResultsCsv(std::filesystem::path path, std::ofstream file) : path_(std::move(path)), file_(std::move(file)) {}

  std::filesystem::path path_;
  std::ofstream file_;
};

}  // namespace zorvik::station
