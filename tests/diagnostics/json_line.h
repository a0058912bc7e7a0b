// Reads one line of the doctor's JSON output: a flat object of strings and
// numbers. A reader of its own, so that the tests check the text a script
// would parse, not the writer's idea of it.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace zorvik::diagnostics::testing {

struct JsonValue {
  bool isString = false;
  std::string text;  // the decoded string, or the number as written
  friend bool operator==(const JsonValue&, const JsonValue&) = default;
};

using JsonObject = std::map<std::string, JsonValue>;

namespace detail {

inline void skipBlanks(const std::string& s, std::size_t& at) {
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
}

inline std::optional<std::string> parseString(const std::string& s, std::size_t& at) {
  if (at >= s.size() || s[at] != '"') return std::nullopt;
  std::string out;
  for (++at; at < s.size(); ++at) {
    const char c = s[at];
    if (c == '"') {
      ++at;
      return out;
    }
    if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;  // must have been escaped
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++at >= s.size()) return std::nullopt;
    switch (s[at]) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case '/': out += '/'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'u': {
        if (at + 4 >= s.size()) return std::nullopt;
        const unsigned long code = std::stoul(s.substr(at + 1, 4), nullptr, 16);
        if (code >= 0x80) return std::nullopt;  // the doctor escapes control characters only
        out += static_cast<char>(code);
        at += 4;
        break;
      }
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace detail

// Nothing when the line is not one flat JSON object.
inline std::optional<JsonObject> parseJsonLine(const std::string& line) {
  JsonObject object;
  std::size_t at = 0;
  detail::skipBlanks(line, at);
  if (at >= line.size() || line[at] != '{') return std::nullopt;
  ++at;
  for (;;) {
    detail::skipBlanks(line, at);
    const auto key = detail::parseString(line, at);
    if (!key) return std::nullopt;
    detail::skipBlanks(line, at);
    if (at >= line.size() || line[at] != ':') return std::nullopt;
    ++at;
    detail::skipBlanks(line, at);
    JsonValue value;
    if (at < line.size() && line[at] == '"') {
      const auto text = detail::parseString(line, at);
      if (!text) return std::nullopt;
      value = {true, *text};
    } else {
      const std::size_t start = at;
      while (at < line.size() && line[at] != ',' && line[at] != '}') ++at;
      value = {false, line.substr(start, at - start)};
      if (value.text.empty()) return std::nullopt;
    }
    if (!object.emplace(*key, value).second) return std::nullopt;  // a key twice
    detail::skipBlanks(line, at);
    if (at < line.size() && line[at] == ',') {
      ++at;
      continue;
    }
    if (at < line.size() && line[at] == '}') {
      ++at;
      break;
    }
    return std::nullopt;
  }
  detail::skipBlanks(line, at);
  if (at != line.size()) return std::nullopt;
  return object;
}

}  // namespace zorvik::diagnostics::testing
