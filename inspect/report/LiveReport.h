// The running machine's table sources asked together, as VeskInfo would ask them, and how the
// inspector shows what each gave.
#pragma once
#include "inspection/Inspection.h"
#include "platform/Live.h"
#include "report/JsonReport.h"

#include <ostream>
#include <string>
#include <vector>

struct LiveMachine {
    LiveTable tables[3];   // by LiveSource
    Inspection walks[3];   // of each source that answered
    int veskinfoUses = -1; // the source VeskInfo walks (WMI, else the registry copy), or -1
    int shown = -1;        // the source reported, or -1 when it gave no table

    const LiveTable& Table(LiveSource source) const { return tables[static_cast<int>(source)]; }
};

// Asks WMI, then the registry copy where WMI gave no table, as VeskInfo does; `only` (a source
// name, or empty for VeskInfo's choice) picks the source reported; `all` asks all three.
LiveMachine AskMachine(const std::string& only, bool all);

// Which sources answered with what, which one VeskInfo uses, and where their identities differ.
void PrintLiveSources(std::ostream& out, const LiveMachine& machine);
Json LiveJson(const LiveMachine& machine);

// The table an input walks as an rsmb file: the header, then the table. An input that has a
// header keeps it; otherwise the version comes from `version` (the firmware's header), from the
// input's entry point, or is 3.0.
std::vector<unsigned char> RsmbFileOf(const TableInput& input, TableSource part,
                                      const RsmbHeader* version);
