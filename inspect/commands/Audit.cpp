#include "commands/Commands.h"

#include "inspection/Status.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "report/AuditReport.h"
#include "report/DepotReport.h"
#include "report/JsonReport.h"
#include "report/LiveReport.h"

#include <iostream>

namespace {

// The table to audit against: TABLE, or the "SMBiosData" value of the export itself.
bool AuditTable(const Options& o, const StoredValues& stored, TableInput& table,
                std::string& error) {
    if (!o.inputs.empty()) return ReadTableInput(o.inputs[0], table, error);
    table.name = o.stored;
    table.format = InputFormat::RegExport;
    if (!FindSMBiosData(stored.file, table.bytes, error)) {
        error += ": name the TABLE to compare with";
        return false;
    }
    RecogniseRegistryValue(table);
    return true;
}

void PrintAuditJson(const AuditSubject& subject, const AuditResult& audit, bool only64) {
    Json json = {{"stored", JsonText(subject.storedName)},
                 {"key", JsonText(subject.stored->key)},
                 {"code_page", subject.codePage}};
    if (subject.machine != nullptr || only64) json["only_64_bit_view"] = only64;
    json.update(AuditJson(audit));
    const Inspection* other = subject.other ? &*subject.other : nullptr;
    json["table"] = subject.table != nullptr
                        ? InputJson(*subject.table, subject.source, subject.shown, other)
                        : Json(nullptr);
    if (subject.machine != nullptr) json["live"] = LiveJson(*subject.machine);
    if (subject.depot != nullptr) json["depot"] = DepotJson(*subject.depot);
    WriteJson(std::cout, json, false);
}

} // namespace

const char kOnly64[] =
    "Note: the values are stored only in the 64-bit view of the registry, where VeskInfo (a "
    "32-bit program) never writes them: another tool wrote them\n";

int ReportAudit(const Options& o, const AuditSubject& subject, bool only64) {
    const Inspection* other = subject.other ? &*subject.other : nullptr;
    const AuditResult audit = Audit(*subject.stored, subject.shown, other, subject.source);
    if (o.json) {
        PrintAuditJson(subject, audit, only64);
    } else {
        PrintAudit(std::cout, audit);
        if (only64) std::cout << kOnly64;
        if (o.explain) {
            std::cout << "\nStored: " << subject.storedName << ", key " << subject.stored->key
                      << "\n";
            if (subject.machine != nullptr) PrintLiveSources(std::cout << "\n", *subject.machine);
            if (subject.table != nullptr)
                Explain(*subject.table, subject.source, subject.shown, subject.other);
        }
    }
    std::cout.flush();
    return AuditStatus(audit, subject, only64);
}

int AuditStatus(const AuditResult& audit, const AuditSubject& subject, bool only64) {
    if (!audit.allMatch || only64) return kMismatch;
    return subject.table != nullptr ? WalkStatus(*subject.table, subject.shown) : kCutShort;
}

AuditSubject FileAuditSubject(const Options& o, const std::string& storedName,
                              const StoredValues& stored, const TableInput& table) {
    AuditSubject subject;
    subject.storedName = storedName;
    subject.codePage = o.codePage;
    subject.stored = &stored;
    subject.table = &table;
    subject.source = o.Source();
    subject.shown = Inspect(table.Table(subject.source), table.Length(subject.source));
    return subject;
}

namespace {

int RunFileAudit(const Options& o) {
    if (o.inputs.size() > 1) return BadUse("--audit takes one TABLE");
    CodePage codePage;
    std::vector<unsigned char> bytes;
    StoredValues stored;
    std::string error;
    // The probe names the machine by its table file.
    const std::string machine = BytesAsUtf8(o.inputs.empty() ? o.stored : o.inputs[0]);
    if (!codePage.Open(o.codePage, error) || !ReadInputBytes(o.stored, bytes, error) ||
        !ReadStoredValues(bytes, codePage, stored, error))
        return o.probe ? ProbeError(machine, o.stored + ": " + error) : BadInput(o.stored, error);
    TableInput table;
    if (!AuditTable(o, stored, table, error))
        return o.probe ? ProbeError(machine, table.name + ": " + error)
                       : BadInput(table.name, error);
    AuditSubject subject = FileAuditSubject(o, o.stored, stored, table);
    if (o.probe) return ReportProbe(machine, subject, false);
    subject.other = InspectOther(table, subject.source);
    return ReportAudit(o, subject, false);
}

// The values stored in this machine's registry against its live table (Windows).
int RunLiveAudit(const Options& o) {
    if (!o.inputs.empty())
        return BadUse("--audit without STORED.reg compares with this machine's table: name no "
                      "TABLE");
    LiveStoredValues stored;
    std::string error;
    if (!ReadLiveStoredValues(stored, error))
        return o.probe ? ProbeError(ComputerName(), error) : BadInput("registry", error);
    // The probe asks only the sources VeskInfo asks.
    const LiveMachine machine = AskMachine(o.source, !o.probe, AskLiveSource);
    AuditSubject subject;
    subject.storedName = "registry";
    subject.codePage = stored.codePage;
    subject.stored = &stored.values;
    subject.machine = &machine;
    if (machine.shown >= 0) {
        const LiveTable& table = machine.tables[machine.shown];
        subject.table = &table.input;
        subject.source = WalkedPart(table.source);
        subject.shown = machine.walks[machine.shown];
        if (o.probe) return ReportProbe(ComputerName(), subject, stored.only64, o.repair);
        // The registry copy, where VeskInfo takes WMI's table: what it records when WMI fails.
        if (table.source == LiveSource::Wmi && machine.Table(LiveSource::Registry).answered)
            subject.other = machine.walks[static_cast<int>(LiveSource::Registry)];
    } else if (o.probe) {
        return ReportProbe(ComputerName(), subject, stored.only64);
    } else if (!o.source.empty()) {
        return NoLiveTable(o, machine);
    } else {
        subject.shown.result = 0; // no source answered: VeskInfo stores three empty values
    }
    return ReportAudit(o, subject, stored.only64);
}

} // namespace

int RunAudit(const Options& o) {
    if (!o.stored.empty() && IsInstallation(o.stored)) return RunInstallationAudit(o);
    if (!o.stored.empty()) return RunFileAudit(o);
    if (HaveLiveSources()) return RunLiveAudit(o);
    return BadUse("--audit needs STORED.reg, an export of the stored values");
}
