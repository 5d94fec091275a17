#include "commands/Commands.h"

#include "inspection/Status.h"
#include "report/DepotReport.h"
#include "report/JsonReport.h"

#include <iostream>

namespace {

// The line, and the status that says whether running VeskInfo would mend it.
int ReportProbe(const ProbeSubject& probe) {
    std::cout << ProbeLine(probe) << "\n";
    std::cout.flush();
    return ProbeExitStatus(probe.status);
}

// Why no table was walked: each live source asked and its answer. A source may answer without
// a table (the registry copy's key missing): VeskInfo then stores three empty values.
std::string NoTableReason(const AuditSubject& subject) {
    std::string reason = "no table source gave a table";
    if (subject.machine == nullptr) return reason;
    const char* separator = " (";
    for (const LiveTable& table : subject.machine->tables) {
        if (!table.asked) continue;
        reason += separator + std::string(LiveSourceName(table.source)) + ": " +
                  (table.problem.empty() ? "no table" : table.problem);
        separator = "; ";
    }
    return reason + "): VeskInfo would store three empty values";
}

// An installed Windows: the board of its last start; where a hive is dirty and could not be
// recovered, the line cannot tell, and says why.
void AddDepot(const DepotFindings& depot, ProbeSubject& probe) {
    probe.lastBoardMember = depot.folder;
    if (depot.lastBoard && depot.lastBoard->hasUuid) {
        probe.lastBoardUuid = GuidText(depot.lastBoard->uuid);
        if (depot.lastBoard->lastUse) probe.lastBoardLastUse = LastUseText(*depot.lastBoard);
    }
    if (depot.verdict == DepotVerdict::Unsure) {
        probe.status = ProbeStatus::Error;
        probe.error = DepotVerdictText(depot);
    }
}

} // namespace

int ProbeError(const std::string& machine, const std::string& message) {
    ProbeSubject probe;
    probe.machine = machine;
    probe.error = BytesAsUtf8(message);
    const int status = ReportProbe(probe);
    std::cerr << kProgram << ": " << message << "\n";
    return status;
}

int ReportProbe(const std::string& machine, const AuditSubject& subject, bool only64,
                bool repairing) {
    ProbeSubject probe;
    probe.machine = machine;
    probe.stored = subject.stored;
    if (subject.table == nullptr || subject.table->bytes.empty()) {
        probe.status = ProbeStatus::NoTable;
        probe.error = NoTableReason(subject);
        return ReportProbe(probe);
    }
    probe.status = ProbeStatusOf(*subject.stored, subject.shown, only64);
    probe.expected = &subject.shown;
    probe.table = subject.table->Table(subject.source);
    probe.length = subject.table->Length(subject.source);
    probe.version = subject.table->StatedVersion();
    probe.source = subject.machine != nullptr ? LiveSourceName(kLiveSources[subject.machine->shown])
                                              : SourceName(subject.source);
    if (subject.depot != nullptr) AddDepot(*subject.depot, probe);
    if (repairing && ProbeExitStatus(probe.status) == 1)
        probe.error = WorseIdentity(*subject.stored, subject.shown);
    const int status = ReportProbe(probe);
    if (!repairing || probe.error.empty()) return status;
    std::cerr << kProgram << ": " << probe.error << "\n";
    return kBadInput;
}
