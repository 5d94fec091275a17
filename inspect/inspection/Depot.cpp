#include "inspection/Depot.h"

DepotFindings AuditDepot(const StoredValues& stored, const Inspection& now,
                         const Inspection* lastStart, TableSource source, bool only64) {
    DepotFindings findings;
    findings.now = Audit(stored, now, nullptr, source);
    if (lastStart != nullptr) findings.lastStart = Audit(stored, *lastStart, nullptr, source);
    if (only64)
        findings.verdict = DepotVerdict::Only64;
    else if (findings.now.allMatch)
        findings.verdict = DepotVerdict::Now;
    else if (!findings.lastStart)
        findings.verdict = DepotVerdict::NotNow;
    else
        findings.verdict =
            findings.lastStart->allMatch ? DepotVerdict::LastStart : DepotVerdict::Neither;
    return findings;
}
