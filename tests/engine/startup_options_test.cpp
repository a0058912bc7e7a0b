// The start-up switches both front ends read: how a switch is found, which
// checks it may relax (in service mode only) and where the service-mode
// setting is read from.
#include "engine/startup_options.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "engine/service_mode_setting.h"

namespace zorvik::engine {
namespace {

TEST(ParamValue, FirstArgumentLongerThanItsKeyCaseInsensitive) {
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    std::string key;
    std::string value;
  } cases[] = {
      {"found", {"x", "cc:-"}, "cc:", "-"},
      {"key in other case", {"CC:-"}, "cc:", "-"},
      {"the first match wins", {"cc:+", "cc:-"}, "cc:", "+"},
      {"the key alone is no value", {"cc:", "cc:-"}, "cc:", "-"},
      {"absent", {"cp:-"}, "cc:", "default"},
      {"no arguments", {}, "cc:", "default"},
      {"a key is a prefix", {"ccx:-"}, "cc", "x:-"},
      {"value cut at 1000 characters", {"f:" + std::string(1200, 'a')}, "f:", std::string(1000, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(paramValue(c.arguments, c.key, "default"), c.value);
  }
}

TEST(ReadStartupOptions, ChecksAreRelaxedOnlyInServiceMode) {
  const std::vector<std::string> relaxAll = {"cc:-", "cf:-", "cp:-", "mf:+", "f:+"};
  RunOptions relaxed;
  relaxed.checkClass = relaxed.checkFirmwareClass = relaxed.checkPlatform = false;
  RunOptions onlyPlatform;
  onlyPlatform.checkPlatform = false;
  const struct {
    const char* name;
    bool serviceMode;
    std::vector<std::string> arguments;
    RunOptions runOptions;
    FileMode fileMode;
    bool memoryFormat;
  } cases[] = {
      {"normal mode ignores the check switches", false, relaxAll, RunOptions{}, FileMode::Normal, true},
      {"service mode takes them", true, relaxAll, relaxed, FileMode::ServiceWithFiles, true},
      {"service mode without switches", true, {}, RunOptions{}, FileMode::Service, false},
      {"one check relaxed", true, {"cp:-"}, onlyPlatform, FileMode::Service, false},
      {"only \"-\" relaxes, only \"+\" enables", true, {"cc:0", "f:1", "mf:1"}, RunOptions{}, FileMode::Service, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const StartupOptions options = readStartupOptions(c.serviceMode, c.arguments);
    EXPECT_EQ(options.serviceMode, c.serviceMode);
    EXPECT_EQ(options.runOptions, c.runOptions);
    EXPECT_FALSE(options.runOptions.readInfoOnly) << "no switch asks for information only";
    EXPECT_EQ(options.fileMode, c.fileMode);
    EXPECT_EQ(options.memoryFormat, c.memoryFormat);
  }
}

#ifndef _WIN32
// Points XDG_CONFIG_HOME at a scratch directory for one test and puts the
// environment back afterwards.
class ServiceModeSetting : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = ::getenv("XDG_CONFIG_HOME")) saved_ = old;
    dir_ = std::filesystem::path(::testing::TempDir()) / ("service_mode_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_ / "Harventa");
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_) {
      ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  void writeSetting(const std::string& text) { std::ofstream(dir_ / "Harventa" / "Qorn.conf") << text; }

  std::filesystem::path dir_;
  std::optional<std::string> saved_;
};

TEST_F(ServiceModeSetting, UnlockedOnlyByTheAccessCodeInTheGeneralSection) {
  EXPECT_EQ(serviceModeSettingLocation(), (dir_ / "Harventa" / "Qorn.conf").string());
  EXPECT_FALSE(readServiceModeSetting()) << "no settings file";
  const struct {
    const char* name;
    std::string text;
    bool unlocked;
  } cases[] = {
      {"the code", "[General]\nintern=7406\n", true},
      {"blanks and CR around it", "[General]\r\n  intern = 7406 \r\n", true},
      {"another code", "[General]\nintern=7405\n", false},
      {"another section", "[Other]\nintern=7406\n", false},
      {"no section", "intern=7406\n", false},
      {"another key", "[General]\ninternal=7406\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeSetting(c.text);
    EXPECT_EQ(readServiceModeSetting(), c.unlocked);
  }
}
#endif

}  // namespace
}  // namespace zorvik::engine
