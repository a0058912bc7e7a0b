// --version: one line with the program's name and the project's version.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "apps/cli/cli.h"

namespace zorvik::testing {
namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result cli(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  std::istringstream in;
  cli::CliIo io{out, err, in};
  const int status = cli::runCli(arguments, io);
  return {status, out.str(), err.str()};
}

TEST(Version, IsOneLineWithTheProjectsVersion) {
  const Result r = cli({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_match(r.out, std::regex(R"(zorvik-updater-cli \d+\.\d+\.\d+\n)"))) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(cli({"--help"}).out.find("--version"), std::string::npos) << "the help names it";
}

TEST(Version, TakesNoValue) {
  const Result r = cli({"--version=2"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "zorvik-updater-cli: --version takes no value\n");
}

}  // namespace
}  // namespace zorvik::testing
