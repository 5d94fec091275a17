// Several inputs in one run: one record per input, as tab-separated values with a header line
// or as JSON lines, and a summary on standard error.
#pragma once
#include "input/TableInput.h"

#include <ostream>
#include <string>
#include <vector>

struct BatchOptions {
    bool json = false;
    std::string field; // "manufacturer", "system-id" or "regulatory-id": only that value
    TableSource source = TableSource::Wmi;
    bool progress = false; // a progress line on standard error for a long batch
};

// The files the arguments name: a directory stands for every file below it, in name order.
struct BatchItem {
    std::string path;
    std::string error; // a directory that could not be read
};
std::vector<BatchItem> ExpandInputs(const std::vector<std::string>& arguments);

// Runs every input and returns the worst exit status among them.
int RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options, std::ostream& out,
             std::ostream& err);

// A text as C writes it in a string literal: \t, \n, \\ and \xHH for the other bytes below 0x20
// and for 0x7F; other bytes as they are.
std::string EscapeC(const std::string& text);
