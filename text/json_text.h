// Text as the inside of a JSON string. Every machine line of ours (the
// command line's events, the doctor, the station, the history listing)
// escapes with this one rule, so a script reads them all alike.
#pragma once

#include <string>
#include <string_view>

namespace zorvik::text {

// The "schema" every machine line carries: the layout of all of them (events,
// station, doctor, history), which rises only when a field changes meaning or
// disappears (docs/json-events.md).
// 2: a serial number not known is null, never 0 or "".
inline constexpr int kJsonSchema = 2;

// Quotes, backslashes and control characters escaped; well-formed UTF-8 kept
// as it is; each byte that is not part of well-formed UTF-8 (a port name or a
// stored text in another encoding) becomes U+FFFD, so the line stays valid
// JSON whatever the text held.
std::string jsonEscape(std::string_view text);

}  // namespace zorvik::text
