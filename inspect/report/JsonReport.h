// An inspection as JSON. Texts are the stored bytes; a byte of 0x80 or more is written as the
// code point of the same number (\u0080 to \u00ff), so a tool can get the bytes back.
#pragma once
#include "input/TableInput.h"
#include "inspection/Inspection.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

using Json = nlohmann::ordered_json;

// A byte string as a JSON string of the code points of its bytes.
Json JsonText(const std::string& bytes);
// The same as UTF-8: each byte of 0x80 or more as two bytes.
std::string BytesAsUtf8(const std::string& bytes);

// Everything about one input: what it is, the walk of `source`, and the other source's values
// when it walks other bytes (`other`, or null).
Json InputJson(const TableInput& input, TableSource source, const Inspection& inspection,
               const Inspection* other);

// The record of one input of a batch, as a line appended to `out`: the values with their
// sources, the format, the status and the anomalies; the structures are left to a single
// input's report.
void WriteBatchRecord(std::string& out, const TableInput& input, TableSource source,
                      const Inspection& inspection, const char* status);

// The record of an input that could not be read, as a line appended to `out`.
void WriteErrorRecord(std::string& out, const std::string& name, const char* format,
                      const std::string& error);

// Indented over several lines, or on one line (for JSON lines).
void WriteJson(std::ostream& out, const Json& json, bool oneLine);
