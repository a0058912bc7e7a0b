// The history as the command line lists it (--history, --json, --csv) and as
// a window may show it: one wording for all, so they cannot drift apart.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "history/update_history.h"

namespace zorvik::history {

// "running", "finished", "interrupted" or "unknown".
std::string stateName(RowState state);

// The columns of the table and one row's cells: start time, port, serial
// number ("-" unknown), version before -> image version, result (PASS,
// FAIL <code>, running, interrupted, open (other host)), duration, front
// end, operator, the final message (with "(image fully sent)" when an update
// that failed had sent the whole image). Control characters in stored texts
// show as '?'.
std::vector<std::string> tableHeadings();
std::vector<std::string> tableCells(const UpdateRow& row);

// A table for people, one line per row in the given order (rows() gives them
// newest first), the columns aligned.
void writeTable(std::ostream& out, const std::vector<UpdateRow>& rows);

// One JSON object per row and line, with every field: "schema" and
// "type":"history", then the fields of the row; those of the end are null
// while there is none, and so is every value not known ("serial" null, never
// 0). Numbers are numbers, texts valid JSON strings (bytes
// that are not UTF-8 become U+FFFD).
// Every line ends with "utc": when it was written (`writtenUtc`), as every
// JSON line of the command line does.
void writeJsonLines(std::ostream& out, const std::vector<UpdateRow>& rows, const std::string& writtenUtc);

// RFC 4180: a header line, then one record per row, CRLF line ends, fields
// quoted when they hold a comma, a quote or a line break. The same fields as
// the JSON lines (without schema and type); empty where JSON has null.
void writeCsv(std::ostream& out, const std::vector<UpdateRow>& rows);

}  // namespace zorvik::history
