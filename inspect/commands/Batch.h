// Several inputs in one run: one record per input, as tab-separated values with a header line
// or as JSON lines, and a summary on standard error.
#pragma once
#include "input/InputFiles.h"
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

// Runs every input and returns the worst exit status among them.
int RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options, std::ostream& out,
             std::ostream& err);
