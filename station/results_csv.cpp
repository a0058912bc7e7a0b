#include "station/results_csv.h"

#include <cerrno>
#include <cstring>
#include <iterator>
#include <system_error>

#include "text/csv_text.h"
#include "text/utc_time.h"

namespace zorvik::station {
namespace {

// The names of the station's JSON result lines, so a script reads both alike.
constexpr const char* kHeader = "utc,result,port,adapter,serial,versionBefore,imageVersion,durationMs,repeats,code,text";

}  // namespace

std::unique_ptr<ResultsCsv> ResultsCsv::open(const std::filesystem::path& path, std::string& error) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
    error = "not a regular file";
    return nullptr;
  }
  errno = 0;
  std::ofstream file(path, std::ios::binary | std::ios::app);
  if (!file) {
    error = errno != 0 ? std::strerror(errno) : "cannot be opened for writing";
    return nullptr;
  }
  file.seekp(0, std::ios::end);
  if (file.tellp() == 0) file << kHeader << "\r\n" << std::flush;
  if (!file) {
    error = "cannot be written";
    return nullptr;
  }
  return std::unique_ptr<ResultsCsv>(new ResultsCsv(path, std::move(file)));
}

bool ResultsCsv::append(const UnitResult& r, std::chrono::system_clock::time_point at) {
  const std::string fields[] = {
      text::utcTimestamp(at), resultWord(r.kind), text::csvField(r.link), text::csvField(r.adapter),
      r.serialNumber == 0 ? std::string() : std::to_string(r.serialNumber), r.versionBefore, r.imageVersion,
      std::to_string(r.duration.count()), std::to_string(r.repeats), std::to_string(r.code), text::csvField(r.text)};
  std::string record = fields[0];
  for (std::size_t i = 1; i < std::size(fields); ++i) record += ',' + fields[i];
  file_ << record << "\r\n" << std::flush;
  return static_cast<bool>(file_);
}

}  // namespace zorvik::station
