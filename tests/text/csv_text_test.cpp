#include "text/csv_text.h"

#include <gtest/gtest.h>

namespace zorvik::text {
namespace {

TEST(CsvText, QuotesOnlyWhatWouldBreakTheRecord) {
  struct Case {
    const char* text;
    const char* field;
  };
  const Case cases[] = {
      {"", ""},
      {"usb-FTDI_FT232R_A10K1ABC-if00-port0", "usb-FTDI_FT232R_A10K1ABC-if00-port0"},
      {"a, b", "\"a, b\""},
      {"Aborted because serial port \"x\" is not ready!", "\"Aborted because serial port \"\"x\"\" is not ready!\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
      {"\"", "\"\"\"\""},
  };
  for (const Case& c : cases) EXPECT_EQ(csvField(c.text), c.field) << c.text;
}

}  // namespace
}  // namespace zorvik::text
