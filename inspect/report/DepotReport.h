// The depot's view: the state of each hive read, the stored values, what VeskInfo records from
// the table now and what the installation kept of its last start (the board HardwareConfig
// names, and a registry copy of the table where a hive holds one), side by side; the boards it
// started on; the one-line verdict. As text (--explain) and as the "depot" object of --json.
#pragma once
#include "inspection/Depot.h"
#include "report/JsonReport.h"

#include <ostream>
#include <string>

struct DepotSources {
    std::string stored;        // the SOFTWARE hive and its key
    std::string now;           // the table now: this machine's, or the one named
    std::string system;        // the SYSTEM hive; empty where there is none
    std::string systemProblem; // why it was not read; empty where it was
    std::string copyProblem;   // why it holds no registry copy of the table; empty where it does
};

// A board as Windows names it: its GUID in upper case, without braces.
std::string BoardUuid(const HardwareBoard& board);
// Its last use as UTC ISO 8601, or "unknown".
std::string LastUseText(const HardwareBoard& board);

void PrintDepot(std::ostream& out, const DepotFindings& findings, const DepotSources& sources);

// The verdict's line.
std::string DepotVerdictText(const DepotFindings& findings);

// The "depot" object: "hives", "last_board", "boards", "verdict", "verdict_text".
Json DepotJson(const DepotFindings& findings);
