// --version: one line with the program's name and the project's version.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "apps/cli/cli.h"
#include "tests/cli/cli_runner.h"

namespace zorvik::testing {
namespace {

CliResult cli(const std::vector<std::string>& arguments) { return runCliHere(arguments); }

TEST(Version, IsOneLineWithTheProjectsVersion) {
  const CliResult r = cli({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_match(r.out, std::regex(R"(zorvik-updater-cli \d+\.\d+\.\d+\n)"))) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(cli({"--help"}).out.find("--version"), std::string::npos) << "the help names it";
}

TEST(Version, TakesNoValue) {
  const CliResult r = cli({"--version=2"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "zorvik-updater-cli: --version takes no value\n");
}

}  // namespace
}  // namespace zorvik::testing
