// The audit: are the values stored under VeskInfo's key what VeskInfo records from this table,
// and if not, the likely reason.
#pragma once
#include "input/ProbeStatus.h"
#include "input/StoredValues.h"
#include "input/TableInput.h"
#include "inspection/Inspection.h"

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

// The stored values against the walk of a table; `only64`: they were read from the 64-bit view.
ProbeStatus ProbeStatusOf(const StoredValues& stored, const Inspection& expected, bool only64);

// Why running VeskInfo would make the stored identity worse, or empty where it would not: it
// would, where it would store a fall-back ("0", "00000") or an empty text for any one value
// while a real value is stored there (a readable text that is neither), for instance after a
// firmware update that dropped the OEM strings, or on an unprogrammed replacement board.
std::string WorseIdentity(const StoredValues& stored, const Inspection& expected);

// 0 for a match, 1 where running VeskInfo would mend it, 2 where it would not (no table, an
// error).
int ProbeExitStatus(ProbeStatus status);
