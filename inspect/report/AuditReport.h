// The audit's result as text and as JSON.
#pragma once
#include "inspection/Audit.h"
#include "report/JsonReport.h"

#include <ostream>
#include <string>

// A stored value as the audit shows it: quoted, "(none)" or "(not readable as text)".
std::string StoredText(const StoredValue& stored);

// One line per value: stored, expected, match or not, and for a mismatch the likely reason.
void PrintAudit(std::ostream& out, const AuditResult& audit);

Json AuditJson(const AuditResult& audit);
