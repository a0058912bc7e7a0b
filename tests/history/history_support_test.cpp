// The host name, the default file and the image digest, each against
// values obtained outside this code.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "history/history_support.h"
#include "history/update_history.h"
#include "images/catalogue.h"
#include "images/image_file.h"
#include "images/sending_order.h"

namespace zorvik::history::testing {
namespace {

using namespace std::chrono;

TEST(HostName, IsTheKernelsHostName) {
  std::ifstream file("/proc/sys/kernel/hostname");
  std::string expected;
  if (!std::getline(file, expected)) GTEST_SKIP() << "/proc/sys/kernel/hostname is not readable here";
  EXPECT_EQ(hostName(), expected);
}

// Sets or unsets environment variables for one scope, then puts them back.
class Environment {
 public:
  void set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old != nullptr ? std::optional<std::string>(old) : std::nullopt});
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~Environment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(DefaultHistoryPath, FollowsTheXdgRules) {
  struct Case {
    const char* name;
    const char* dataHome;  // null: unset
    const char* home;
    const char* expected;
  };
  const Case cases[] = {
      {"XDG_DATA_HOME set", "/srv/data", "/home/op", "/srv/data/zorvik-updater/history.sqlite"},
      {"XDG_DATA_HOME unset", nullptr, "/home/op", "/home/op/.local/share/zorvik-updater/history.sqlite"},
      {"XDG_DATA_HOME empty", "", "/home/op", "/home/op/.local/share/zorvik-updater/history.sqlite"},
      {"XDG_DATA_HOME relative is ignored", "data", "/home/op",
       "/home/op/.local/share/zorvik-updater/history.sqlite"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Environment environment;
    environment.set("XDG_DATA_HOME", c.dataHome);
    environment.set("HOME", c.home);
    EXPECT_EQ(defaultHistoryPath(), c.expected);
  }
}

TEST(ImageDigest, KnownDigests) {
  struct Case {
    const char* name;
    std::vector<std::string_view> lines;
    const char* expected;
  };
  // Expected values: the empty input's well-known SHA-256, the others from
  // `printf ':10000000AABB\n:00000001FF\n' | sha256sum` and
  // `printf '\n' | sha256sum` (GNU coreutils).
  const Case cases[] = {
      {"no lines", {}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"two lines", {":10000000AABB", ":00000001FF"},
       "cd30e500bcdd3cbe00ff264ff007c0356e5ae25409dfbf8965a8860b09bfc268"},
      {"one empty line is a newline", {""}, "01ba4719c80b6fe911b091a7c05124b64eeece964e09c058ef8f9805daca546b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(imageDigest(c.lines), c.expected);
  }
}

// Built-in image 6 holds back its vector table line to the end of sending.
// Expected value computed outside this code from the image text:
//   { grep '^:40....00' images/firmware/image06.txt | grep -v '^:4003DF00';
//     grep '^:4003DF00' images/firmware/image06.txt; } | sha256sum
constexpr const char* kImage6Digest = "b98dd842ca79d3926e5f115c1d1a8d55183ad2d17e206b78b31a246b67b1e0a4";

TEST(ImageDigest, BuiltInImageAndTheSameImageLoadedFromAFileAgree) {
  const images::ImageSource builtIn;
  EXPECT_EQ(imageDigest(images::sendingOrder(builtIn, 6)), kImage6Digest);

  // The same image as a file with CR LF line ends, as it might come from Windows.
  const images::ImageHeader h = images::builtInHeader(6);
  std::ostringstream text;
  text << "bootloader=" << h.bootloader << "\r\nbootloader version=" << h.bootloaderVersion
       << "\r\nclass=" << h.deviceClass << "\r\nversionH=" << h.versionHigh << "\r\nversionL=" << h.versionLow
       << "\r\nplatform=" << h.platform << "\r\nprint=" << h.print << "\r\ndate=" << h.date << "\r\n";
  for (int i = 0; i <= builtIn.lastLine(6); ++i) text << builtIn.line(6, i) << "\r\n";
  auto file = std::make_shared<images::ImageFile>();
  ASSERT_EQ(images::parseImageText(text.str(), file->header, file->lines), images::ImageLoadResult::Loaded);
  const images::ImageSource loaded(file);
  EXPECT_EQ(imageDigest(images::sendingOrder(loaded, images::kFileImageIndex)), kImage6Digest);
}

}  // namespace
}  // namespace zorvik::history::testing
