// The audit of an installed Windows from its hive files, as at the service depot: the stored
// values from its SOFTWARE hive against the table now (TABLE, else this machine's), and with
// --explain of a Windows folder also against the table of its last start (the SYSTEM hive's
// registry copy), three side by side with a verdict.
#include "commands/Commands.h"

#include "input/Hive.h"
#include "inspection/Depot.h"
#include "inspection/Status.h"
#include "platform/CodePage.h"
#include "report/AuditReport.h"
#include "report/DepotReport.h"
#include "report/JsonReport.h"

#include <filesystem>
#include <iostream>

namespace {

struct Installation {
    bool folder = false; // a Windows folder, rather than a SOFTWARE hive file
    WindowsHives hives;
    StoredValues stored;
    bool only64 = false;
};

// False with `error` (and `name`, the file it is about) when the stored values cannot be read.
bool ReadInstallation(const Options& o, Installation& windows, std::string& name,
                      std::string& error) {
    CodePage codePage;
    windows.folder = !IsHiveFile(o.stored);
    name = o.stored;
    if (windows.folder && !FindWindowsHives(o.stored, windows.hives, error)) return false;
    if (!windows.folder) windows.hives.software = o.stored;
    name = windows.hives.software;
    return codePage.Open(o.codePage, error) &&
           ReadHiveStoredValues(windows.hives.software, codePage, windows.stored, windows.only64,
                                error);
}

// The probe names the machine by the installation's computer name, else by the folder; a hive
// file alone, as an export, by the table file.
std::string InstallationMachine(const Options& o, const Installation& windows) {
    if (!windows.folder) return BytesAsUtf8(o.inputs.empty() ? o.stored : o.inputs[0]);
    const std::string name =
        windows.hives.system.empty() ? "" : ReadHiveComputerName(windows.hives.system);
    return name.empty() ? BytesAsUtf8(o.stored) : name;
}

int ExplainDepot(const Installation& windows, const AuditSubject& now) {
    DepotSources sources = {windows.hives.software + ", key " + windows.stored.key, now.table->name,
                            windows.hives.system, ""};
    TableInput last;
    std::optional<Inspection> lastWalk;
    if (windows.hives.system.empty()) {
        sources.lastStart = "(none)";
        sources.lastStartProblem = "no SYSTEM hive in the folder";
    } else if (ReadHiveTable(windows.hives.system, last, sources.lastStartProblem)) {
        lastWalk = Inspect(last.Table(now.source), last.Length(now.source));
    }
    const DepotFindings findings = AuditDepot(
        *now.stored, now.shown, lastWalk ? &*lastWalk : nullptr, now.source, windows.only64);
    PrintAudit(std::cout, findings.now);
    if (windows.only64) std::cout << kOnly64;
    PrintDepot(std::cout << "\n", findings, sources);
    Explain(*now.table, now.source, now.shown, now.other);
    std::cout.flush();
    if (!findings.now.allMatch || windows.only64) return kMismatch;
    return WalkStatus(*now.table, now.shown);
}

} // namespace

bool IsInstallation(const std::string& stored) {
    std::error_code error;
    return std::filesystem::is_directory(std::filesystem::u8path(stored), error) ||
           IsHiveFile(stored);
}

int RunInstallationAudit(const Options& o) {
    if (o.inputs.size() > 1) return BadUse("--audit takes one TABLE");
    Installation windows;
    std::string name, error;
    if (!ReadInstallation(o, windows, name, error))
        return o.probe ? ProbeError(BytesAsUtf8(o.stored), name + ": " + error)
                       : BadInput(name, error);
    // Only the probe names the machine: the SYSTEM hive is not opened for it otherwise.
    const std::string machine = o.probe ? InstallationMachine(o, windows) : "";
    TableInput table;
    if (!ReadTableInput(o.inputs.empty() ? "" : o.inputs[0], table, error))
        return o.probe ? ProbeError(machine, table.name + ": " + error)
                       : BadInput(table.name, error);
    AuditSubject subject;
    subject.storedName = windows.hives.software;
    subject.codePage = o.codePage;
    subject.stored = &windows.stored;
    subject.table = &table;
    subject.source = o.Source();
    subject.shown = Inspect(table.Table(subject.source), table.Length(subject.source));
    if (o.probe) return ReportProbe(machine, subject, windows.only64);
    subject.other = InspectOther(table, subject.source);
    if (windows.folder && o.explain && !o.json) return ExplainDepot(windows, subject);
    return ReportAudit(o, subject, windows.only64);
}
