// JSON strings: whatever a text holds (quotes, control characters, another
// encoding's bytes), the escaped form is valid JSON and well-formed UTF-8
// reads back as it was.
#include <gtest/gtest.h>

#include <string>

#include "text/json_text.h"

namespace zorvik::testing {
namespace {

TEST(JsonEscape, EscapesWhatJsonForbidsAndKeepsUtf8) {
  const struct {
    const char* name;
    std::string text;
    std::string expected;
  } cases[] = {
      {"plain", "/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"quote and backslash", R"(C:\ports\"COM3")", R"(C:\\ports\\\"COM3\")"},
      {"named controls", "a\nb\rc\td", R"(a\nb\rc\td)"},
      {"other controls", std::string("\x01\x1b[31m\x1f", 7), R"(\u0001\u001b[31m\u001f)"},
      {"NUL inside", std::string("a\0b", 3), R"(a\u0000b)"},
      {"two-, three- and four-byte UTF-8", "Grüße € 😀", "Grüße € 😀"},
      {"a byte of Latin-1", "/dev/tty\xE9", R"(/dev/tty\ufffd)"},
      {"a lone continuation byte", "a\x80z", R"(a\ufffdz)"},
      {"cut short at the end", "ab\xE2\x82", R"(ab\ufffd\ufffd)"},
      {"overlong slash", "\xC0\xAF", R"(\ufffd\ufffd)"},
      {"a surrogate", "\xED\xA0\x80", R"(\ufffd\ufffd\ufffd)"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", R"(\ufffd\ufffd\ufffd\ufffd)"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text::jsonEscape(c.text), c.expected);
  }
}

}  // namespace
}  // namespace zorvik::testing
