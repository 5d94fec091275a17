// The service depot's question about an installed Windows read from its disk: does it carry the
// identity of the board now in the machine, of the board it last started on (the registry copy
// of the table that its SYSTEM hive kept), or of neither?
#pragma once
#include "inspection/Audit.h"

#include <optional>

enum class DepotVerdict {
    Now,       // the stored values are what VeskInfo records from the table now
    LastStart, // they are what it recorded from the board the installation last started on
    Neither,
    NotNow, // not the table now, and no table of the last start to compare with
    Only64, // the values are only in the 64-bit view, where VeskInfo never writes them
};

struct DepotFindings {
    AuditResult now;
    std::optional<AuditResult> lastStart; // where the SYSTEM hive gave a table
    DepotVerdict verdict = DepotVerdict::Neither;
};

// `lastStart` is the walk of the SYSTEM hive's registry copy, or null where there is none;
// `only64`: the values were read from the 64-bit view.
DepotFindings AuditDepot(const StoredValues& stored, const Inspection& now,
                         const Inspection* lastStart, TableSource source, bool only64);
