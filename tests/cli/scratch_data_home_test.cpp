// Every update the command line makes is recorded in the update history under
// $XDG_DATA_HOME. The tests' updates go into a scratch folder of their own,
// never into the history of whoever runs the tests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

class ScratchDataHome : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zorvik-cli-data-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) FAIL() << "no scratch folder for the update history";
    path_ = pattern;
    ::setenv("XDG_DATA_HOME", path_.c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

 private:
  std::string path_;
};

[[maybe_unused]] ::testing::Environment* const scratchDataHome =
    ::testing::AddGlobalTestEnvironment(new ScratchDataHome);

}  // namespace
