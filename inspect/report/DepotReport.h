// The depot's view: the stored values, what VeskInfo records from the table now and from the
// table of the installation's last start, side by side, and the one-line verdict.
#pragma once
#include "inspection/Depot.h"

#include <ostream>
#include <string>

struct DepotSources {
    std::string stored;           // the SOFTWARE hive
    std::string now;              // the table now: this machine's, or the one named
    std::string lastStart;        // the SYSTEM hive
    std::string lastStartProblem; // why it gave no table; empty where it did
};

void PrintDepot(std::ostream& out, const DepotFindings& findings, const DepotSources& sources);

const char* DepotVerdictText(DepotVerdict verdict);
