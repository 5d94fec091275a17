// The inspector's ways of showing an inspection as text.
#pragma once
#include "input/TableInput.h"
#include "inspection/Inspection.h"

#include <ostream>
#include <string>

// The three values exactly as VeskInfo stores them, one per line.
void PrintValues(std::ostream& out, const Inspection& inspection);

// What the input is, which table was walked and what was noticed about the container.
void PrintInputExplanation(std::ostream& out, const TableInput& input, TableSource source);

// The structures walked, where each value came from, the candidates left unused and the
// anomalies met.
void PrintExplanation(std::ostream& out, const Inspection& inspection);

// What the other table source gives for the same input, beside the values of `shown`.
void PrintOtherSource(std::ostream& out, const Inspection& other, TableSource otherSource,
                      const Inspection& shown);

// Why the walk was cut short, in one line (for a walk result of 0).
std::string CutShortReason(const Inspection& inspection);

// A text for a human: in double quotes, with quotes, backslashes and unprintable bytes escaped.
std::string Quoted(const std::string& text);

const char* FieldName(IdentityField field);     // "manufacturer", "system identifier", ...
const char* JsonFieldName(IdentityField field); // "manufacturer", "system_id", ...

// The field an option names: "manufacturer", "system-id" or "regulatory-id".
IdentityField FieldOf(const std::string& option);

// A text as C writes it in a string literal: \t, \n, \\ and \xHH for the other bytes below 0x20
// and for 0x7F; other bytes as they are.
std::string EscapeC(const std::string& text);
