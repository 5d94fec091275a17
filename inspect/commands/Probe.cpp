#include "commands/Commands.h"

#include "report/JsonReport.h"

#include <iostream>

namespace {

// The line, and the status that says whether running VeskInfo would mend it.
int ReportProbe(const ProbeSubject& probe) {
    std::cout << ProbeLine(probe) << "\n";
    std::cout.flush();
    return ProbeExitStatus(probe.status);
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

int ReportProbe(const std::string& machine, const AuditSubject& subject, bool only64) {
    ProbeSubject probe;
    probe.machine = machine;
    probe.stored = subject.stored;
    if (subject.table == nullptr) {
        probe.status = ProbeStatus::NoTable;
        return ReportProbe(probe);
    }
    probe.status = ProbeStatusOf(*subject.stored, subject.shown, only64);
    probe.expected = &subject.shown;
    probe.table = subject.table->Table(subject.source);
    probe.length = subject.table->Length(subject.source);
    probe.source = subject.machine != nullptr ? LiveSourceName(kLiveSources[subject.machine->shown])
                                              : SourceName(subject.source);
    return ReportProbe(probe);
}
