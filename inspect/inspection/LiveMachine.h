// The running machine's table sources asked together, as VeskInfo would ask them, with the walk
// of each table that answered.
#pragma once
#include "input/LiveTable.h"
#include "inspection/Inspection.h"

#include <string>

struct LiveMachine {
    LiveTable tables[3];   // by LiveSource
    Inspection walks[3];   // of each source that answered
    int veskinfoUses = -1; // the source VeskInfo walks (WMI, else the registry copy), or -1
    int shown = -1;        // the source reported, or -1 when it gave no table

    const LiveTable& Table(LiveSource source) const { return tables[static_cast<int>(source)]; }
};

// Asks WMI, then the registry copy where WMI gave no table, as VeskInfo does, through `ask`;
// `only` (a source name, or empty for VeskInfo's choice) picks the source reported; `all` asks
// all three. Each table that answered is walked.
using AskSource = LiveTable (*)(LiveSource source);
LiveMachine AskMachine(const std::string& only, bool all, AskSource ask);
