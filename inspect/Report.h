// The inspector's three ways of showing an inspection.
#pragma once
#include "Inspection.h"

#include <ostream>
#include <string>

// The three values exactly as VeskInfo stores them, one per line.
void PrintValues(std::ostream& out, const Inspection& inspection);

// The structures walked, where each value came from, the candidates left unused and the
// anomalies met.
void PrintExplanation(std::ostream& out, const Inspection& inspection);

// Everything above as one JSON object. Texts are the stored bytes; a byte of 0x80 or more is
// written as the code point of the same number, so a tool can get the bytes back.
void PrintJson(std::ostream& out, const Inspection& inspection, const std::string& input);

// Why the walk was cut short, in one line (for a walk result of 0).
std::string CutShortReason(const Inspection& inspection);
