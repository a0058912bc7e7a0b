#include "history/history_listing.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "engine/update_error.h"
#include "images/version_text.h"
#include "text/csv_text.h"
#include "text/json_text.h"

namespace zorvik::history {
namespace {

// One field of a row as the machine formats carry it.
struct Field {
  enum class Kind { Null, Number, Boolean, Text };
  std::string_view key;
  Kind kind = Kind::Null;
  std::int64_t number = 0;
  std::string text;
};

Field number(std::string_view key, std::int64_t value) { return {key, Field::Kind::Number, value, {}}; }
Field boolean(std::string_view key, bool value) { return {key, Field::Kind::Boolean, value ? 1 : 0, {}}; }
Field text(std::string_view key, std::string value) { return {key, Field::Kind::Text, 0, std::move(value)}; }
Field null(std::string_view key) { return {key, Field::Kind::Null, 0, {}}; }

// Every field of a row, in one order for JSON and CSV. The same keys for
// every row, whatever its state, so that the CSV header fits all records.
std::vector<Field> fields(const UpdateRow& row) {
  std::vector<Field> f;
  f.push_back(number("id", row.id));
  f.push_back(text("state", stateName(row.state)));
  f.push_back(text("start", row.start.startUtc));
  f.push_back(text("host", row.start.host));
  f.push_back(number("pid", row.start.pid));
  f.push_back(text("port", row.start.port));
  f.push_back(text("adapter", row.start.adapterSerial));
  f.push_back(text("frontEnd", row.start.frontEnd));
  f.push_back(row.start.operatorName.empty() ? null("operator") : text("operator", row.start.operatorName));
  f.push_back(row.serialNumber ? number("serial", *row.serialNumber) : null("serial"));
  if (const auto& e = row.end) {
    f.push_back(number("class", e->deviceClass));
    f.push_back(number("appVersionBefore", e->appVersionBefore));
    f.push_back(e->appVersionBefore != 0 ? text("versionBefore", images::versionWordText(e->appVersionBefore))
                                         : null("versionBefore"));
    f.push_back(boolean("imageChosen", e->imageChosen));
    f.push_back(number("imageVersionHigh", e->imageVersionHigh));
    f.push_back(number("imageVersionLow", e->imageVersionLow));
    f.push_back(e->imageChosen ? text("imageVersion", images::versionText(e->imageVersionHigh, e->imageVersionLow))
                               : null("imageVersion"));
    f.push_back(number("imagePrint", e->imagePrint));
    f.push_back(number("imageBootloader", e->imageBootloader));
    f.push_back(number("imageBootloaderVersion", e->imageBootloaderVersion));
    f.push_back(text("imageSha256", e->imageSha256));
    f.push_back(number("resultCode", e->resultCode));
    f.push_back(text("resultText", e->resultText));
    f.push_back(e->imageSent ? boolean("imageSent", *e->imageSent) : null("imageSent"));
    f.push_back(number("repeats", e->repeats));
    f.push_back(number("durationMs", e->durationMs));
  } else {
    for (const char* key : {"class", "appVersionBefore", "versionBefore", "imageChosen",
                            "imageVersionHigh", "imageVersionLow", "imageVersion", "imagePrint",
                            "imageBootloader", "imageBootloaderVersion", "imageSha256", "resultCode",
                            "resultText", "imageSent", "repeats", "durationMs"}) {
      f.push_back(null(key));
    }
  }
  return f;
}

std::string jsonString(std::string_view value) { return "\"" + text::jsonEscape(value) + "\""; }

std::string csvField(const Field& field) {
  switch (field.kind) {
    case Field::Kind::Null: return {};
    case Field::Kind::Number: return std::to_string(field.number);
    case Field::Kind::Boolean: return field.number != 0 ? "true" : "false";
    case Field::Kind::Text: break;
  }
  return text::csvField(field.text);
}

// Columns a text takes on a terminal: one per character, whatever its bytes.
std::size_t displayWidth(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A stored text in a table cell: no control character may move the cursor or
// switch the terminal's colours.
std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

std::string durationText(std::int64_t milliseconds) {
  const std::int64_t seconds = std::max<std::int64_t>(milliseconds, 0) / 1000;
  char buffer[48];
  if (seconds >= 3600) {
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return buffer;
}

// "2026-12-10 13:10:55" from the stored "2026-12-10T13:10:55.123Z"; a text of
// another form as it is.
std::string startText(const std::string& utc) {
  if (utc.size() < 19 || utc[10] != 'T') return utc;
  std::string shown = utc.substr(0, 19);
  shown[10] = ' ';
  return shown;
}

std::string resultText(const UpdateRow& row) {
  switch (row.state) {
    case RowState::Finished:
      if (!row.end || engine::isPassingOutcome(row.end->resultCode)) return "PASS";
      return "FAIL " + std::to_string(row.end->resultCode);
    case RowState::Running: return "running";
    case RowState::Interrupted: return "interrupted";
    case RowState::Unknown: return "open (other host)";
  }
  return {};
}

// Before -> after only where the logger runs the image now; a failed update
// that did not get the whole image out leaves the version it had (or half
// an image), so the image it was meant to get is named as not written.
std::string versionCell(const UpdateEnd& end) {
  const std::string before = end.appVersionBefore != 0 ? images::versionWordText(end.appVersionBefore) : "?";
  if (!end.imageChosen) return before;
  const std::string image = images::versionText(end.imageVersionHigh, end.imageVersionLow);
  const bool written = end.resultCode == 0 || end.imageSent.value_or(false);
  return written ? before + " \u2192 " + image : before + " (" + image + " not written)";
}

// The final message on one line; an image that went out whole although the
// update ended in an error is said, as the logger runs the new image then.
std::string resultMessage(const UpdateEnd& end) {
  std::string shown = printable(end.resultText);
  if (end.resultCode != 0 && end.imageSent.value_or(false)) shown += " (image fully sent)";
  return shown.empty() ? std::string("-") : shown;
}

}  // namespace

std::string stateName(RowState state) {
  switch (state) {
    case RowState::Running: return "running";
    case RowState::Finished: return "finished";
    case RowState::Interrupted: return "interrupted";
    case RowState::Unknown: return "unknown";
  }
  return "unknown";
}

std::vector<std::string> tableHeadings() {
  return {"Started (UTC)", "Port", "Serial", "Version", "Result", "Duration", "Front end", "Operator", "Result text"};
}

std::vector<std::string> tableCells(const UpdateRow& row) {
  std::string serial = "-";
  std::string version = "-";
  std::string duration = "-";
  std::string message = "-";
  if (row.serialNumber) serial = std::to_string(*row.serialNumber);
  if (const auto& e = row.end) {
    version = versionCell(*e);
    duration = durationText(e->durationMs);
    message = resultMessage(*e);
  }
  return {startText(printable(row.start.startUtc)),
          printable(row.start.port),
          serial,
          version,
          resultText(row),
          duration,
          printable(row.start.frontEnd),
          row.start.operatorName.empty() ? std::string("-") : printable(row.start.operatorName),
          message};
}

void writeTable(std::ostream& out, const std::vector<UpdateRow>& rows) {
  if (rows.empty()) {
    out << "No updates recorded.\n";
    return;
  }
  std::vector<std::vector<std::string>> lines{tableHeadings()};
  for (const UpdateRow& row : rows) lines.push_back(tableCells(row));
  std::vector<std::size_t> widths(lines.front().size(), 0);
  for (const auto& cells : lines) {
    for (std::size_t c = 0; c < cells.size(); ++c) widths[c] = std::max(widths[c], displayWidth(cells[c]));
  }
  for (const auto& cells : lines) {
    std::string line;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      line += cells[c];
      if (c + 1 < cells.size()) line.append(widths[c] - displayWidth(cells[c]) + 2, ' ');
    }
    out << line << '\n';
  }
}

void writeJsonLines(std::ostream& out, const std::vector<UpdateRow>& rows, const std::string& writtenUtc) {
  for (const UpdateRow& row : rows) {
    std::string line = "{\"schema\":" + std::to_string(text::kJsonSchema) + ",\"type\":\"history\"";
    for (const Field& field : fields(row)) {
      line += ",\"" + std::string(field.key) + "\":";
      switch (field.kind) {
        case Field::Kind::Null: line += "null"; break;
        case Field::Kind::Number: line += std::to_string(field.number); break;
        case Field::Kind::Boolean: line += field.number != 0 ? "true" : "false"; break;
        case Field::Kind::Text: line += jsonString(field.text); break;
      }
    }
    out << line << ",\"utc\":" << jsonString(writtenUtc) << "}\n";
  }
}

void writeCsv(std::ostream& out, const std::vector<UpdateRow>& rows) {
  std::string header;
  for (const Field& field : fields(UpdateRow{})) {
    if (!header.empty()) header += ',';
    header += field.key;
  }
  out << header << "\r\n";
  for (const UpdateRow& row : rows) {
    std::string record;
    bool first = true;
    for (const Field& field : fields(row)) {
      if (!first) record += ',';
      record += csvField(field);
      first = false;
    }
    out << record << "\r\n";
  }
}

}  // namespace zorvik::history
