// The audit: are the values stored under VeskInfo's key what VeskInfo records from this table,
// and if not, the likely reason.
#pragma once
#include "input/StoredValues.h"
#include "input/TableInput.h"
#include "inspection/Inspection.h"
#include "report/JsonReport.h"

#include <ostream>
#include <string>

struct AuditLine {
    IdentityField field;
    const StoredValue* stored;
    std::string expected;
    bool match;
    std::string reason; // for a mismatch
};

struct AuditResult {
    AuditLine lines[3]; // by IdentityField
    bool allMatch;
};

// Compares the stored values with what the walk of `source` gives (`expected`); `other` is the
// walk of the other source when it walks other bytes, or null.
AuditResult Audit(const StoredValues& stored, const Inspection& expected, const Inspection* other,
                  TableSource source);

// One line per value: stored, expected, match or not, and for a mismatch the likely reason.
void PrintAudit(std::ostream& out, const AuditResult& audit);

Json AuditJson(const AuditResult& audit);
