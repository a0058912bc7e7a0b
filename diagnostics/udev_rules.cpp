#include "diagnostics/udev_rules.h"

#include <vector>

#include "ports/port_description.h"

namespace zorvik::diagnostics {
namespace {

using ports::parseUsbId;

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// The logical lines of a rules file: a line ending in a backslash goes on in
// the next one; blank lines and comments are left out.
std::vector<std::string> logicalLines(std::string_view text) {
  std::vector<std::string> rules;
  std::string current;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool continues = !line.empty() && line.back() == '\\';
    if (continues) line.remove_suffix(1);
    if (current.empty() && !trim(line).empty() && trim(line).front() == '#') continue;
    current += line;
    if (continues && at <= text.size()) continue;
    if (!trim(current).empty()) rules.emplace_back(trim(current));
    current.clear();
  }
  return rules;
}

// The value of every `key=="value"` match in a rule (`key` written with its
// braces: ATTRS{idVendor}). Only matches (==) count, not assignments.
std::vector<std::string_view> matchValues(std::string_view rule, std::string_view key) {
  std::vector<std::string_view> values;
  for (std::size_t at = rule.find(key); at != std::string_view::npos; at = rule.find(key, at + 1)) {
    // The key must start a field: the rule's start, a comma or a blank before it.
    if (at > 0 && rule[at - 1] != ',' && rule[at - 1] != ' ' && rule[at - 1] != '\t') continue;
    std::size_t p = at + key.size();
    while (p < rule.size() && (rule[p] == ' ' || rule[p] == '\t')) ++p;
    if (rule.substr(p, 2) != "==") continue;
    p += 2;
    while (p < rule.size() && (rule[p] == ' ' || rule[p] == '\t')) ++p;
    if (p >= rule.size() || rule[p] != '"') continue;
    const std::size_t close = rule.find('"', p + 1);
    if (close == std::string_view::npos) continue;
    values.push_back(rule.substr(p + 1, close - p - 1));
  }
  return values;
}

// A match value names `id` when it is that number, or one of its
// alternatives ("6001|6015") is.
bool valueNames(std::string_view value, std::uint16_t id) {
  std::size_t at = 0;
  while (at <= value.size()) {
    const std::size_t bar = std::min(value.find('|', at), value.size());
    if (const auto parsed = parseUsbId(value.substr(at, bar - at)); parsed && *parsed == id) return true;
    at = bar + 1;
  }
  return false;
}

bool anyValueNames(const std::vector<std::string_view>& values, std::uint16_t id) {
  for (const auto v : values) {
    if (valueNames(v, id)) return true;
  }
  return false;
}

bool claimsByAttributes(std::string_view rule, std::uint16_t vendor, std::optional<std::uint16_t> product) {
  for (const std::string_view form : {"ATTRS", "ATTR", "SYSFS"}) {
    const std::string vendorKey = std::string(form) + "{idVendor}";
    const std::string productKey = std::string(form) + "{idProduct}";
    if (!anyValueNames(matchValues(rule, vendorKey), vendor)) continue;
    if (!product || anyValueNames(matchValues(rule, productKey), *product)) return true;
  }
  return false;
}

// ENV{PRODUCT} is "vendor/product/bcdDevice" in hex without leading zeros.
bool claimsByProductEnv(std::string_view rule, std::uint16_t vendor, std::optional<std::uint16_t> product) {
  for (const auto value : matchValues(rule, "ENV{PRODUCT}")) {
    const std::size_t slash = value.find('/');
    if (slash == std::string_view::npos) continue;
    const std::size_t second = value.find('/', slash + 1);
    const auto v = parseUsbId(value.substr(0, slash));
    const auto p = parseUsbId(value.substr(slash + 1, (second == std::string_view::npos ? value.size() : second) -
                                                          slash - 1));
    if (v && *v == vendor && (!product || (p && *p == *product))) return true;
  }
  return false;
}

}  // namespace

bool ruleClaims(std::string_view rule, std::uint16_t vendor, std::optional<std::uint16_t> product) {
  return claimsByAttributes(rule, vendor, product) || claimsByProductEnv(rule, vendor, product);
}

std::optional<std::string> claimingRule(std::string_view rulesText, std::uint16_t vendor,
                                        std::optional<std::uint16_t> product) {
  for (const std::string& rule : logicalLines(rulesText)) {
    if (ruleClaims(rule, vendor, product)) return rule;
  }
  return std::nullopt;
}

bool rulesSetProperty(std::string_view rulesText, std::string_view key) {
  const std::string field = "ENV{" + std::string(key) + "}";
  for (const std::string& rule : logicalLines(rulesText)) {
    for (std::size_t at = rule.find(field); at != std::string::npos; at = rule.find(field, at + 1)) {
      std::size_t p = at + field.size();
      while (p < rule.size() && (rule[p] == ' ' || rule[p] == '\t')) ++p;
      // An assignment (=, +=, :=), not a comparison (==, !=).
      if (p < rule.size() && rule[p] == '=' && (p + 1 >= rule.size() || rule[p + 1] != '=')) return true;
      if (p + 1 < rule.size() && (rule[p] == '+' || rule[p] == ':') && rule[p + 1] == '=') return true;
    }
  }
  return false;
}

std::optional<std::string> udevProperty(std::string_view databaseText, std::string_view key) {
  const std::string prefix = "E:" + std::string(key) + "=";
  std::size_t at = 0;
  while (at < databaseText.size()) {
    const std::size_t end = std::min(databaseText.find('\n', at), databaseText.size());
    const std::string_view line = databaseText.substr(at, end - at);
    if (line.substr(0, prefix.size()) == prefix) return std::string(line.substr(prefix.size()));
    at = end + 1;
  }
  return std::nullopt;
}

}  // namespace zorvik::diagnostics
