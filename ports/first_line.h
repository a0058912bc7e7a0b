// Private to its library.
// The one-value text files of sysfs and /proc, as the Linux files of ports/
// read them (not installed).
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace zorvik::ports::detail {

// The file's first line without the line end and trailing blanks; empty
// when the file cannot be read (a device or process gone meanwhile).
inline std::string readFirstLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

}  // namespace zorvik::ports::detail
