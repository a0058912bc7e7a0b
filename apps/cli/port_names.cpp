#include "apps/cli/port_names.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zorvik::cli {
namespace {

// Follows links on both sides and compares the files themselves. On POSIX by
// device and inode: the standard library's equivalent() refuses to compare
// two character devices (GCC 12 answers "Operation not supported").
bool sameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
#else
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
#endif
}

std::string lastPart(const std::string& port) {
  const std::size_t slash = port.find_last_of("/\\");
  return slash == std::string::npos ? port : port.substr(slash + 1);
}

// The whole name as one file-name part: separators become "-", and the
// leading ones (with the dots of "\\.\COM5") go.
std::string wholePath(const std::string& port) {
  std::string name = port;
  std::replace_if(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\' || c == ':'; }, '-');
  const std::size_t start = name.find_first_not_of("-.");
  return start == std::string::npos ? name : name.substr(start);
}

bool unique(const std::vector<std::string>& names) {
  return std::set<std::string>(names.begin(), names.end()).size() == names.size();
}

std::vector<std::string> namesBy(const std::vector<std::string>& ports, std::string (*name)(const std::string&)) {
  std::vector<std::string> names;
  for (const auto& port : ports) names.push_back(name(port));
  return names;
}

}  // namespace

std::vector<std::string> traceFilesFor(const std::string& file, const std::vector<std::string>& ports) {
  if (ports.size() == 1) return {file};
  std::vector<std::string> names = namesBy(ports, lastPart);
  if (!unique(names)) names = namesBy(ports, wholePath);
  if (!unique(names)) {
    for (std::size_t i = 0; i < names.size(); ++i) names[i] += "-" + std::to_string(i + 1);
  }
  std::vector<std::string> files;
  for (const auto& name : names) files.push_back(file + "." + name);
  return files;
}

std::optional<std::pair<std::size_t, std::size_t>> sameDeviceTwice(const std::vector<std::string>& ports) {
  for (std::size_t i = 0; i < ports.size(); ++i) {
    for (std::size_t j = i + 1; j < ports.size(); ++j) {
      if (sameFile(ports[i], ports[j])) return std::make_pair(i, j);
    }
  }
  return std::nullopt;
}

}  // namespace zorvik::cli
