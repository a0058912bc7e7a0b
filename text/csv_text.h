// Text as one CSV field (RFC 4180): the history's --csv listing and the
// station's results file quote alike, so a spreadsheet reads both.
#pragma once

#include <string>
#include <string_view>

namespace zorvik::text {

// As it is, unless it holds a comma, a quote or a line break: then in
// quotes, with each quote doubled.
std::string csvField(std::string_view text);

}  // namespace zorvik::text
