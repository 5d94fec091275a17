#include "report/AuditReport.h"

#include "report/Report.h"

std::string StoredText(const StoredValue& stored) {
    if (!stored.present) return "(none)";
    if (!stored.problem.empty()) return "(not readable as text)";
    return Quoted(stored.text);
}

void PrintAudit(std::ostream& out, const AuditResult& audit) {
    for (const AuditLine& line : audit.lines) {
        out << StoredValueName(line.field) << ": stored " << StoredText(*line.stored)
            << ", expected " << Quoted(line.expected) << ": ";
        if (line.match)
            out << "match\n";
        else
            out << "differs: " << line.reason << "\n";
    }
}

Json AuditJson(const AuditResult& audit) {
    Json lines = Json::array();
    for (const AuditLine& line : audit.lines) {
        const StoredValue& stored = *line.stored;
        Json entry = {{"value", StoredValueName(line.field)},
                      {"stored", stored.present && stored.problem.empty() ? JsonText(stored.text)
                                                                          : Json(nullptr)},
                      {"expected", JsonText(line.expected)},
                      {"match", line.match}};
        if (!line.match) entry["reason"] = JsonText(line.reason);
        lines.push_back(std::move(entry));
    }
    return {{"all_match", audit.allMatch}, {"values", std::move(lines)}};
}
