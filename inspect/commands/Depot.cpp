// The audit of an installed Windows from its hive files, as at the service depot: the stored
// values from its SOFTWARE hive against the table now (TABLE, else this machine's), and for a
// Windows folder (or the volume holding one) the boards its SYSTEM hive kept: with --explain the
// three side by side with the boards and a verdict, with --json as the "depot" object. A hive
// is recovered in memory from its transaction logs first where it is dirty.
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
    bool folder = false; // a Windows folder (or a volume), rather than a SOFTWARE hive file
    WindowsHives hives;
    StoredValues stored;
    bool only64 = false;
    HiveRecovery software;
    bool systemRead = false;
    SystemHive system;
    std::string systemProblem; // why no SYSTEM hive was read
};

// False with `error` (and `name`, the file it is about) when the stored values cannot be read.
bool ReadInstallation(const Options& o, CodePage& codePage, Installation& windows,
                      std::string& name, std::string& error) {
    windows.folder = !IsHiveFile(o.stored);
    name = o.stored;
    if (windows.folder && !FindWindowsHives(o.stored, windows.hives, error)) return false;
    if (!windows.folder) windows.hives.software = o.stored;
    name = windows.hives.software;
    return codePage.Open(o.codePage, error) &&
           ReadHiveStoredValues(windows.hives.software, codePage, windows.stored, windows.only64,
                                windows.software, error);
}

// The SYSTEM hive of a Windows folder: its computer name, boards and registry copy.
void ReadSystem(Installation& windows) {
    if (!windows.folder)
        windows.systemProblem = "a SOFTWARE hive named alone (name the Windows folder to read its "
                                "SYSTEM hive too)";
    else if (windows.hives.system.empty())
        windows.systemProblem = "no SYSTEM hive in the folder";
    else if (!ReadSystemHive(windows.hives.system, windows.system, windows.systemProblem))
        windows.systemProblem = windows.hives.system + ": " + windows.systemProblem;
    else
        windows.systemRead = true;
}

// The probe names the machine by the installation's computer name, else by the folder; a hive
// file alone, as an export, by the table file.
std::string InstallationMachine(const Options& o, const Installation& windows) {
    if (!windows.folder) return BytesAsUtf8(o.inputs.empty() ? o.stored : o.inputs[0]);
    return windows.system.computerName.empty() ? BytesAsUtf8(o.stored)
                                               : windows.system.computerName;
}

struct DepotView {
    std::optional<Inspection> registryCopy;
    DepotFindings findings;
};

void FindDepot(const Installation& windows, const AuditSubject& now, const CodePage& codePage,
               DepotView& view) {
    DepotInput input;
    input.stored = now.stored;
    input.only64 = windows.only64;
    input.hives.push_back({"SOFTWARE", windows.hives.software, windows.software});
    if (windows.systemRead) {
        input.hives.push_back({"SYSTEM", windows.hives.system, windows.system.recovery});
        input.system = &windows.system;
        const TableInput& copy = windows.system.table;
        if (windows.system.hasTable)
            view.registryCopy = Inspect(copy.Table(now.source), copy.Length(now.source));
    }
    input.now = &now.shown;
    input.table = now.table->Table(now.source);
    input.length = now.table->Length(now.source);
    input.source = now.source;
    input.registryCopy = view.registryCopy ? &*view.registryCopy : nullptr;
    input.codePage = &codePage;
    input.folder = windows.folder;
    view.findings = AuditDepot(input);
}

int ExplainDepot(const Installation& windows, const AuditSubject& now,
                 const DepotFindings& findings) {
    const DepotSources sources = {windows.hives.software + ", key " + windows.stored.key,
                                  now.table->name, windows.hives.system, windows.systemProblem,
                                  windows.systemRead ? windows.system.tableProblem : ""};
    PrintAudit(std::cout, findings.now);
    if (windows.only64) std::cout << kOnly64;
    PrintDepot(std::cout << "\n", findings, sources);
    Explain(*now.table, now.source, now.shown, now.other);
    std::cout.flush();
    return AuditStatus(findings.now, now, windows.only64);
}

// The audit's lines, and a note where the SOFTWARE hive was read as it is.
int PlainAudit(const Options& o, const Installation& windows, const AuditSubject& subject) {
    const int status = ReportAudit(o, subject, windows.only64);
    if (windows.software.state != HiveState::Dirty) return status;
    std::cout << "Note: the SOFTWARE hive is " << HiveRecoveryText(windows.software) << "\n";
    std::cout.flush();
    return kBadInput;
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
    CodePage codePage;
    std::string name, error;
    if (!ReadInstallation(o, codePage, windows, name, error))
        return o.probe ? ProbeError(BytesAsUtf8(o.stored), name + ": " + error)
                       : BadInput(name, error);
    // The SYSTEM hive is opened only for what needs it: the probe's machine and board, the view.
    if (o.probe || o.explain || o.json) ReadSystem(windows);
    const std::string machine = o.probe ? InstallationMachine(o, windows) : "";
    TableInput table;
    if (!ReadTableInput(o.inputs.empty() ? "" : o.inputs[0], table, error))
        return o.probe ? ProbeError(machine, table.name + ": " + error)
                       : BadInput(table.name, error);
    AuditSubject subject = FileAuditSubject(o, windows.hives.software, windows.stored, table);
    if (!o.probe && !o.explain && !o.json) {
        subject.other = InspectOther(table, subject.source);
        return PlainAudit(o, windows, subject);
    }
    DepotView view;
    FindDepot(windows, subject, codePage, view);
    const bool unsure = view.findings.verdict == DepotVerdict::Unsure;
    if (o.probe) {
        subject.depot = &view.findings;
        return ReportProbe(machine, subject, windows.only64);
    }
    subject.other = InspectOther(table, subject.source);
    subject.depot = &view.findings;
    const int status = o.json ? ReportAudit(o, subject, windows.only64)
                              : ExplainDepot(windows, subject, view.findings);
    return unsure ? kBadInput : status;
}
