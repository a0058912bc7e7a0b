// The listing formats of --history: the table for people, JSON lines and CSV
// for programs, of one fixed set of rows. The expected texts are written out
// here in full.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "history/history_listing.h"
#include "tests/history/json_reader.h"

namespace zorvik::history::testing {
namespace {

constexpr const char* kFailText = "No answer, logger said \"E7\" at C:\\path\n\t\x01";

UpdateRow running() {
  return {6, {"2026-12-10T13:20:00.500Z", "bench-1", 5000, "/dev/ttyUSB3", "FT77", "window", ""}, std::nullopt,
          RowState::Running, std::nullopt};
}

UpdateRow failedBeforeIdentifying() {
  UpdateEnd e;  // nothing learned: every field at its "unknown" value
  e.resultCode = 10;
  e.resultText = "Port /dev/ttyUSB2 not found";
  e.durationMs = 1500;
  return {5, {"2026-12-10T13:15:30.250Z", "bench-1", 4900, "/dev/ttyUSB2", "", "cli", "ana"}, e, RowState::Finished, std::nullopt};
}

UpdateRow passed() {
  UpdateEnd e;
  e.deviceClass = 26113;
  e.appVersionBefore = 0x0614;
  e.imageChosen = true;
  e.imageVersionHigh = 6;
  e.imageVersionLow = 26;
  e.imagePrint = 3;
  e.imageBootloader = 2;
  e.imageBootloaderVersion = 5;
  e.imageSha256 = "b98dd842ca79d3926e5f115c1d1a8d55183ad2d17e206b78b31a246b67b1e0a4";
  e.resultCode = 0;
  e.resultText = "Update ZorvikB V6.26 succesfully completed.";
  e.imageSent = true;
  e.repeats = 0;
  e.durationMs = 238512;
  return {4, {"2026-12-10T13:10:55.123Z", "bench-1", 4242, "/dev/ttyUSB0", "FT1A2B3C", "station", "ana"}, e,
          RowState::Finished, 120345};
}

// A row of the first layout: whether the image went out is not known.
UpdateRow failed() {
  UpdateEnd e;
  e.deviceClass = 26113;
  e.appVersionBefore = 0x0588;
  e.imageChosen = true;
  e.imageVersionHigh = 6;
  e.imageVersionLow = 5;
  e.imagePrint = 0;
  e.imageBootloader = 2;
  e.imageBootloaderVersion = 0;
  e.resultCode = 30;
  e.resultText = kFailText;
  e.repeats = 2;
  e.durationMs = 3725000;
  return {3, {"2026-12-10T12:01:02.004Z", "bench-1", 4100, "/dev/ttyUSB1", "", "cli", ""}, e, RowState::Finished, 98765};
}

// Cancelled while the logger restarted: the result says cancelled, but the
// logger runs the new image, and the row says so.
UpdateRow cancelledAfterSending() {
  UpdateEnd e;
  e.deviceClass = 26113;
  e.appVersionBefore = 0x0614;
  e.imageChosen = true;
  e.imageVersionHigh = 6;
  e.imageVersionLow = 26;
  e.imageBootloader = 2;
  e.resultCode = 20;
  e.resultText = "Process cancelled!";
  e.imageSent = true;
  e.durationMs = 240000;
  return {7, {"2026-12-10T13:30:00.000Z", "bench-1", 5100, "/dev/ttyUSB4", "", "cli", "ana"}, e, RowState::Finished,
          120346};
}

// Killed after its serial number was read: the row names its logger.
UpdateRow interrupted() {
  return {2, {"2026-12-09T08:00:00.000Z", "bench-1", 3999, "COM5", "FTX\xC3\xA9", "window", ""}, std::nullopt,
          RowState::Interrupted, 55501};
}

// Written on another host; its texts hold a terminal escape and a byte that is not UTF-8.
UpdateRow elsewhere() {
  return {1, {"2026-12-01T07:00:00.000Z", "other-host", 17, "/dev/ttyUSB9\x1b[31m", "\xff", "station", ""},
          std::nullopt, RowState::Unknown, std::nullopt};
}

std::vector<UpdateRow> allRows() {
  return {cancelledAfterSending(), running(), failedBeforeIdentifying(), passed(), failed(), interrupted(), elsewhere()};
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(HistoryTable, AlignedColumnsOneLinePerUpdate) {
  std::ostringstream out;
  writeTable(out, allRows());
  EXPECT_EQ(out.str(),
            "Started (UTC)        Port               Serial  Version                   Result             Duration  Front end  Operator  Result text\n"
            "2026-12-10 13:30:00  /dev/ttyUSB4       120346  6.20 \u2192 6.26               FAIL 20            4:00      cli        ana       Process cancelled! (image fully sent)\n"
            "2026-12-10 13:20:00  /dev/ttyUSB3       -       -                         running            -         window     -         -\n"
            "2026-12-10 13:15:30  /dev/ttyUSB2       -       ?                         FAIL 10            0:01      cli        ana       Port /dev/ttyUSB2 not found\n"
            "2026-12-10 13:10:55  /dev/ttyUSB0       120345  6.20 \u2192 6.26               PASS               3:58      station    ana       Update ZorvikB V6.26 succesfully completed.\n"
            "2026-12-10 12:01:02  /dev/ttyUSB1       98765   5.136 (6.05 not written)  FAIL 30            1:02:05   cli        -         No answer, logger said \"E7\" at C:\\path???\n"
            "2026-12-09 08:00:00  COM5               55501   -                         interrupted        -         window     -         -\n"
            "2026-12-01 07:00:00  /dev/ttyUSB9?[31m  -       -                         open (other host)  -         station    -         -\n");
}

TEST(HistoryTable, NoRows) {
  std::ostringstream out;
  writeTable(out, {});
  EXPECT_EQ(out.str(), "No updates recorded.\n");
}

TEST(HistoryJson, EveryFieldWithEscapesAndNulls) {
  std::ostringstream out;
  writeJsonLines(out, {passed(), failed(), elsewhere()}, "2026-12-10T14:00:00.000Z");
  EXPECT_EQ(
      out.str(),
      R"({"schema":2,"type":"history","id":4,"state":"finished","start":"2026-12-10T13:10:55.123Z","host":"bench-1",)"
      R"("pid":4242,"port":"/dev/ttyUSB0","adapter":"FT1A2B3C","frontEnd":"station","operator":"ana","serial":120345,)"
      R"("class":26113,)"
      R"("appVersionBefore":1556,"versionBefore":"6.20","imageChosen":true,"imageVersionHigh":6,"imageVersionLow":26,)"
      R"("imageVersion":"6.26","imagePrint":3,"imageBootloader":2,"imageBootloaderVersion":5,)"
      R"("imageSha256":"b98dd842ca79d3926e5f115c1d1a8d55183ad2d17e206b78b31a246b67b1e0a4","resultCode":0,)"
      R"("resultText":"Update ZorvikB V6.26 succesfully completed.","imageSent":true,"repeats":0,"durationMs":238512,"utc":"2026-12-10T14:00:00.000Z"})"
      "\n"
      R"({"schema":2,"type":"history","id":3,"state":"finished","start":"2026-12-10T12:01:02.004Z","host":"bench-1",)"
      R"("pid":4100,"port":"/dev/ttyUSB1","adapter":"","frontEnd":"cli","operator":null,"serial":98765,)"
      R"("class":26113,)"
      R"("appVersionBefore":1416,"versionBefore":"5.136","imageChosen":true,"imageVersionHigh":6,"imageVersionLow":5,)"
      R"("imageVersion":"6.05","imagePrint":0,"imageBootloader":2,"imageBootloaderVersion":0,"imageSha256":"",)"
      R"("resultCode":30,"resultText":"No answer, logger said \"E7\" at C:\\path\n\t\u0001","imageSent":null,"repeats":2,)"
      R"("durationMs":3725000,"utc":"2026-12-10T14:00:00.000Z"})"
      "\n"
      R"({"schema":2,"type":"history","id":1,"state":"unknown","start":"2026-12-01T07:00:00.000Z","host":"other-host",)"
      R"("pid":17,"port":"/dev/ttyUSB9\u001b[31m","adapter":"\ufffd","frontEnd":"station","operator":null,"serial":null,)"
      R"("class":null,)"
      R"("appVersionBefore":null,"versionBefore":null,"imageChosen":null,"imageVersionHigh":null,)"
      R"("imageVersionLow":null,"imageVersion":null,"imagePrint":null,"imageBootloader":null,)"
      R"("imageBootloaderVersion":null,"imageSha256":null,"resultCode":null,"resultText":null,"imageSent":null,"repeats":null,)"
      R"("durationMs":null,"utc":"2026-12-10T14:00:00.000Z"})"
      "\n");
}

// Every line a JSON parser accepts, with the same keys on every line, and
// texts that decode back to what was stored.
TEST(HistoryJson, EveryLineParsesAndDecodesToTheStoredTexts) {
  const std::vector<UpdateRow> rows = allRows();
  std::ostringstream out;
  writeJsonLines(out, rows, "2026-12-10T14:00:00.000Z");
  const std::vector<std::string> lines = linesOf(out.str());
  ASSERT_EQ(lines.size(), rows.size());
  std::set<std::string> firstKeys;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const std::optional<JsonObject> object = JsonReader::object(lines[i]);
    ASSERT_TRUE(object.has_value());
    std::set<std::string> keys;
    for (const auto& [key, value] : *object) keys.insert(key);
    if (i == 0) firstKeys = keys;
    EXPECT_EQ(keys, firstKeys);
    EXPECT_EQ(object->at("schema"), (JsonValue{JsonValue::Kind::Number, "2"}));
    EXPECT_EQ(object->at("id"), (JsonValue{JsonValue::Kind::Number, std::to_string(rows[i].id)}));
    EXPECT_EQ(object->at("pid"), (JsonValue{JsonValue::Kind::Number, std::to_string(rows[i].start.pid)}));
    if (rows[i].end) {
      EXPECT_EQ(object->at("resultText"), (JsonValue{JsonValue::Kind::String, rows[i].end->resultText}));
      EXPECT_EQ(object->at("durationMs"),
                (JsonValue{JsonValue::Kind::Number, std::to_string(rows[i].end->durationMs)}));
    } else {
      EXPECT_EQ(object->at("resultText").kind, JsonValue::Kind::Null);
    }
  }
  EXPECT_EQ(JsonReader::object(lines[4])->at("resultText").text, kFailText);
  EXPECT_EQ(JsonReader::object(lines[5])->at("adapter").text, "FTX\xC3\xA9");
  EXPECT_EQ(JsonReader::object(lines[6])->at("port").text, "/dev/ttyUSB9\x1b[31m");
  EXPECT_EQ(JsonReader::object(lines[6])->at("adapter").text, "\xEF\xBF\xBD");  // U+FFFD for the stray byte
  // Unknown is null, never 0; a killed row keeps the serial number it read.
  EXPECT_EQ(JsonReader::object(lines[2])->at("serial").kind, JsonValue::Kind::Null);
  EXPECT_EQ(JsonReader::object(lines[5])->at("serial"), (JsonValue{JsonValue::Kind::Number, "55501"}));
  EXPECT_EQ(JsonReader::object(lines[0])->at("imageSent").kind, JsonValue::Kind::True);
}

// The reader itself must reject what it is there to catch.
TEST(HistoryJson, ReaderRejectsBrokenLines) {
  const char* broken[] = {
      R"({"a":"unescaped " quote"})", "{\"a\":\"raw\nnewline\"}", R"({"a":"bad \x escape"})",
      R"({"a":01})",                  R"({"a":1,"a":2})",         "{\"a\":\"\xff\"}",
      R"({"a":"\ud800"})",            R"({"a":1} trailing)",    R"({"a":1,})",
  };
  for (const char* line : broken) EXPECT_FALSE(JsonReader::object(line).has_value()) << line;
  EXPECT_TRUE(JsonReader::object(R"({"a":"\ud83d\ude00 \u00e9","b":-1.5e3,"c":null,"d":true})").has_value());
}

TEST(HistoryCsv, HeaderAndRfc4180Quoting) {
  std::ostringstream out;
  writeCsv(out, {passed(), failed(), elsewhere()});
  EXPECT_EQ(out.str(),
            "id,state,start,host,pid,port,adapter,frontEnd,operator,serial,class,appVersionBefore,versionBefore,imageChosen,"
            "imageVersionHigh,imageVersionLow,imageVersion,imagePrint,imageBootloader,imageBootloaderVersion,"
            "imageSha256,resultCode,resultText,imageSent,repeats,durationMs\r\n"
            "4,finished,2026-12-10T13:10:55.123Z,bench-1,4242,/dev/ttyUSB0,FT1A2B3C,station,ana,120345,26113,1556,6.20,"
            "true,6,26,6.26,3,2,5,b98dd842ca79d3926e5f115c1d1a8d55183ad2d17e206b78b31a246b67b1e0a4,0,"
            "Update ZorvikB V6.26 succesfully completed.,true,0,238512\r\n"
            "3,finished,2026-12-10T12:01:02.004Z,bench-1,4100,/dev/ttyUSB1,,cli,,98765,26113,1416,5.136,true,6,5,6.05,"
            "0,2,0,,30,\"No answer, logger said \"\"E7\"\" at C:\\path\n\t\x01\",,2,3725000\r\n"
            "1,unknown,2026-12-01T07:00:00.000Z,other-host,17,/dev/ttyUSB9\x1b[31m,\xff,station,,,,,,,,,,,,,,,,,,\r\n");
}

TEST(HistoryCsv, NoRowsStillHasTheHeader) {
  std::ostringstream out;
  writeCsv(out, {});
  EXPECT_EQ(out.str().substr(0, 9), "id,state,");
  EXPECT_EQ(linesOf(out.str()).size(), 1u);
}

}  // namespace
}  // namespace zorvik::history::testing
