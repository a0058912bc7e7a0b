// A strict reader for the flat JSON objects of the history's JSON lines
// (RFC 8259, objects of strings, numbers, true, false and null): it rejects
// what a real parser would, and gives back the decoded values, so that a test
// can compare a text that went through escaping with the original.
#pragma once

#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zorvik::history::testing {

struct JsonValue {
  enum class Kind { String, Number, True, False, Null };
  Kind kind = Kind::Null;
  std::string text;  // decoded string, or the number as written
  friend bool operator==(const JsonValue&, const JsonValue&) = default;
};

using JsonObject = std::map<std::string, JsonValue>;

class JsonReader {
 public:
  // The object on one line; none when the line is not exactly one valid
  // object (or repeats a key).
  static std::optional<JsonObject> object(std::string_view line) {
    JsonReader reader(line);
    JsonObject result;
    if (!reader.readObject(result)) return std::nullopt;
    reader.skipSpace();
    if (reader.i_ != line.size()) return std::nullopt;
    return result;
  }

 private:
  explicit JsonReader(std::string_view s) : s_(s) {}

  void skipSpace() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }
  bool eat(char c) {
    skipSpace();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  unsigned char at(std::size_t k) const { return k < s_.size() ? static_cast<unsigned char>(s_[k]) : 0; }

  bool readObject(JsonObject& out) {
    if (!eat('{')) return false;
    if (eat('}')) return true;
    do {
      std::string key;
      JsonValue value;
      skipSpace();
      if (!readString(key) || !eat(':') || !readValue(value)) return false;
      if (!out.emplace(key, value).second) return false;
    } while (eat(','));
    return eat('}');
  }

  bool readValue(JsonValue& v) {
    skipSpace();
    if (at(i_) == '"') {
      v.kind = JsonValue::Kind::String;
      return readString(v.text);
    }
    for (const auto& [word, kind] : {std::pair{"true", JsonValue::Kind::True}, std::pair{"false", JsonValue::Kind::False},
                                     std::pair{"null", JsonValue::Kind::Null}}) {
      if (s_.substr(i_, std::string_view(word).size()) == word) {
        i_ += std::string_view(word).size();
        v.kind = kind;
        return true;
      }
    }
    v.kind = JsonValue::Kind::Number;
    return readNumber(v.text);
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  bool readNumber(std::string& out) {
    const std::size_t start = i_;
    const auto digits = [&] {
      const std::size_t from = i_;
      while (std::isdigit(at(i_))) ++i_;
      return i_ > from;
    };
    if (at(i_) == '-') ++i_;
    if (at(i_) == '0') {
      ++i_;
    } else if (!digits()) {
      return false;
    }
    if (at(i_) == '.') {
      ++i_;
      if (!digits()) return false;
    }
    if (at(i_) == 'e' || at(i_) == 'E') {
      ++i_;
      if (at(i_) == '+' || at(i_) == '-') ++i_;
      if (!digits()) return false;
    }
    out = std::string(s_.substr(start, i_ - start));
    return true;
  }

  bool hex4(std::uint32_t& value) {
    value = 0;
    for (int k = 0; k < 4; ++k, ++i_) {
      const unsigned char c = at(i_);
      if (!std::isxdigit(c)) return false;
      value = value * 16 + static_cast<std::uint32_t>(std::isdigit(c) ? c - '0' : (std::tolower(c) - 'a' + 10));
    }
    return true;
  }

  static void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  // Length of a well-formed UTF-8 character at i_, 0 when the bytes are none.
  std::size_t utf8Character() const {
    const unsigned char lead = at(i_);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (lead >= 0xC0 && lead < 0xE0) {
      n = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      n = 3;
      cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF8) {
      n = 4;
      cp = lead & 0x07;
    } else {
      return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
      if ((at(i_ + k) & 0xC0) != 0x80) return 0;
      cp = (cp << 6) | (at(i_ + k) & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
  }

  bool readString(std::string& out) {
    if (at(i_) != '"') return false;
    ++i_;
    out.clear();
    while (i_ < s_.size()) {
      const unsigned char c = at(i_);
      if (c == '"') {
        ++i_;
        return true;
      }
      if (c < 0x20) return false;
      if (c >= 0x80) {
        const std::size_t n = utf8Character();
        if (n == 0) return false;
        out.append(s_.substr(i_, n));
        i_ += n;
        continue;
      }
      if (c != '\\') {
        out += static_cast<char>(c);
        ++i_;
        continue;
      }
      ++i_;
      const char e = static_cast<char>(at(i_++));
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::uint32_t cp = 0;
          if (!hex4(cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            std::uint32_t low = 0;
            if (at(i_) != '\\' || at(i_ + 1) != 'u') return false;
            i_ += 2;
            if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
          }
          appendUtf8(out, cp);
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace zorvik::history::testing
