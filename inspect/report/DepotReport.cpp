#include "report/DepotReport.h"

#include "report/AuditReport.h"
#include "report/Report.h"

#include <algorithm>

namespace {

std::string Mark(const AuditLine& line) {
    return Quoted(line.expected) + (line.match ? " =" : "");
}

void Row(std::ostream& out, const std::string (&cells)[4], const size_t (&widths)[4]) {
    for (int i = 0; i < 4; ++i) {
        out << cells[i];
        if (i < 3) out << std::string(widths[i] - cells[i].size() + 2, ' ');
    }
    out << "\n";
}

} // namespace

const char* DepotVerdictText(DepotVerdict verdict) {
    switch (verdict) {
    case DepotVerdict::Now:
        return "the installation carries the identity of the board now in the machine";
    case DepotVerdict::LastStart:
        return "the installation carries the identity of the board it last started on, not of "
               "this one: run VeskInfo (or the repair) on the next start";
    case DepotVerdict::Neither:
        return "the installation carries the identity of neither";
    case DepotVerdict::Only64:
        return "the installation carries no identity where VeskInfo keeps it (the values are only "
               "in the 64-bit view): run VeskInfo (or the repair) on the next start";
    case DepotVerdict::NotNow:
        break;
    }
    return "the installation does not carry the identity of the board now in the machine (its "
           "SYSTEM hive gives no table of its last start to compare with)";
}

void PrintDepot(std::ostream& out, const DepotFindings& findings, const DepotSources& sources) {
    out << "Stored: " << sources.stored << "\nNow: " << sources.now
        << " (the table of the board in the machine)\nLast start: " << sources.lastStart
        << (sources.lastStartProblem.empty()
                ? " (the registry copy of the table, kept at the installation's last start)"
                : ": " + sources.lastStartProblem)
        << "\n\n";
    std::string rows[4][4] = {{"", "stored", "now", "last start"}};
    for (int i = 0; i < 3; ++i) {
        const AuditLine& now = findings.now.lines[i];
        rows[i + 1][0] = StoredValueName(now.field);
        rows[i + 1][1] = StoredText(*now.stored);
        rows[i + 1][2] = Mark(now);
        rows[i + 1][3] = findings.lastStart ? Mark(findings.lastStart->lines[i]) : "(no table)";
    }
    size_t widths[4] = {};
    for (const auto& row : rows)
        for (int i = 0; i < 4; ++i)
            widths[i] = std::max(widths[i], row[i].size());
    for (const auto& row : rows)
        Row(out, row, widths);
    out << "(= the stored value)\n\nVerdict: " << DepotVerdictText(findings.verdict) << "\n";
}
