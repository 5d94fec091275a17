// veskinfo-inspect: what VeskInfo would record from an SMBIOS table, shown on Linux or on the
// Windows machine itself; an audit of the values a machine stored; batches of tables. It runs
// the program's own walk and finalisation, and on Windows its own table sources.
#include "Version.h"
#include "input/CodePage.h"
#include "input/Hive.h"
#include "input/StoredValues.h"
#include "input/TableInput.h"
#include "inspection/Audit.h"
#include "inspection/Inspection.h"
#include "inspection/Status.h"
#include "platform/Live.h"
#include "platform/Platform.h"
#include "report/Batch.h"
#include "report/DepotReport.h"
#include "report/FleetReport.h"
#include "report/JsonReport.h"
#include "report/LiveReport.h"
#include "report/Probe.h"
#include "report/Report.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kProgram[] = "veskinfo-inspect";

const char kUsage[] =
    "Usage: veskinfo-inspect [OPTIONS] [INPUT...]\n"
    "  or:  veskinfo-inspect --audit [STORED.reg] [OPTIONS] [TABLE]\n"
    "  or:  veskinfo-inspect --audit --probe [STORED.reg TABLE]\n"
    "  or:  veskinfo-inspect --report OUT.html|- INPUT...\n"
    "Prints the manufacturer, system identifier and regulatory identifier that VeskInfo would\n"
    "record from an SMBIOS table, one per line; with several inputs, one record per input.\n"
    "With --audit, compares the values a machine stored with what VeskInfo records from its\n"
    "table. On Windows, without an input it reads this machine's table through VeskInfo's own\n"
    "sources, and --audit without STORED.reg reads the values stored in its registry.\n"
    "With --report, a report over many machines' probe lines (files, folders, or CSV exports\n"
    "of the detection output).\n";

const char kFooter[] =
    "Inputs:\n"
    "  raw             a structure table from its first byte (as /sys/firmware/dmi/tables/DMI)\n"
    "  dmidecode-dump  a file written by dmidecode --dump-bin (an entry point at offset 0)\n"
    "  rsmb            a saved GetSystemFirmwareTable('RSMB') buffer: an 8-byte header, then\n"
    "                  the table\n"
    "  reg-export      a .reg export of the \"SMBiosData\" value\n"
    "  hive            a SYSTEM registry hive: its registry copy of the table (Linux)\n"
    "  -               standard input\n"
    "  (none)          this machine's table: on Linux /sys/firmware/dmi/tables/DMI (or\n"
    "                  $VESKINFO_DMI_TABLE); on Windows the table VeskInfo gets (WMI, else\n"
    "                  the registry copy), or the one --source names\n"
    "  A directory stands for every file below it, in name order.\n\n"
    "On Windows:\n"
    "  Runs without administrator rights; a source that refuses access says that it needs\n"
    "  them. --explain and --json name the sources that answered, the one VeskInfo uses and\n"
    "  where their identities differ. --audit without STORED.reg reads the values from\n"
    "  HKLM\\SOFTWARE\\Vesk Computer Corporation\\SysInfo in the 32-bit view, where VeskInfo\n"
    "  writes them (and says so when only the 64-bit view has them); they are compared as\n"
    "  stored, in the machine's ANSI code page. Texts are written as the bytes VeskInfo\n"
    "  stores, with no conversion for the console.\n\n"
    "Exit status:\n"
    "  0  the walk completed (with --audit: all three values match)\n"
    "  1  the walk was cut short (the values are still printed); on Windows also: no\n"
    "     table source answered (VeskInfo then stores three empty values)\n"
    "  2  usage or input error\n"
    "  3  with --audit: a stored value differs, or the values are only in the 64-bit view\n"
    "  With several inputs, the worst status among them.\n"
    "  With --probe: 0 match; 1 differs, missing, not-run or only-64-bit (running VeskInfo\n"
    "  mends them); 2 no-table, error, or a usage error.\n"
    "  With --report: 0 the report was written; 2 an input was refused whole (lines that are\n"
    "  no probe lines are only counted), or a usage error.";

struct Options {
    bool explain = false;
    bool json = false;
    std::string source; // empty: the default, VeskInfo's own choice
    bool audit = false;
    std::string stored; // the export --audit names; empty: the live registry
    bool probe = false;
    int codePage = 1252;
    std::string field;
    std::string save;
    std::string report; // --report's OUT.html, or "-"
    std::vector<std::string> inputs;

    TableSource Source() const {
        return source == "registry" ? TableSource::Registry : TableSource::Wmi;
    }
    bool Live() const { return inputs.empty() && HaveLiveSources(); }
};

// The usage lines first, as manual-page generators expect them; each option with its value's
// name only.
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_description(const CLI::App*) const override { return ""; }
    std::string make_usage(const CLI::App*, std::string) const override { return kUsage; }
    std::string make_option_opts(const CLI::Option* option) const override {
        if (option->get_type_size() == 0) return "";
        const std::string text = option->get_option_text();
        return " " + (text.empty() ? option->get_type_name() : text) +
               (option->get_positional() ? "..." : "");
    }
};

void Configure(CLI::App& app, Options& o) {
    app.formatter(std::make_shared<HelpFormatter>());
    app.get_formatter()->column_width(26);
    app.footer(kFooter);
    app.allow_extras();
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", std::string(kProgram) + " " + VESK_PRODUCT_VERSION_TEXT,
                         "Print the version and exit");
    CLI::Option* explain = app.add_flag("--explain", o.explain,
                                        "Also show the input's format, the structures walked,\n"
                                        "where each value came from and the anomalies met");
    CLI::Option* json = app.add_flag("--json", o.json,
                                     "Everything as one JSON object (one per line for\n"
                                     "several inputs)");
    app.add_option("--source", o.source,
                   "The table VeskInfo gets: wmi (the table alone, as where\n"
                   "WMI answers; the default for a file) or registry (the\n"
                   "registry copy walked from its first byte, header\n"
                   "included). On Windows, without an input: that live\n"
                   "source, or firmware (GetSystemFirmwareTable, which\n"
                   "VeskInfo never uses); by default the one VeskInfo uses")
        ->check(CLI::IsMember({"wmi", "registry", "firmware"}))
        ->option_text("wmi|registry|firmware");
    CLI::Option* audit = app.add_option("--audit", o.stored,
                                        "Compare the values in STORED.reg, an export of\n"
                                        "HKLM\\SOFTWARE\\Vesk Computer Corporation\\SysInfo, with\n"
                                        "what VeskInfo records from TABLE (or from the export's\n"
                                        "own \"SMBiosData\" value). On Linux STORED may also\n"
                                        "be a SOFTWARE hive, or the Windows folder of a mounted\n"
                                        "disk (against this machine's table by default; with\n"
                                        "--explain also against the table of its last start).\n"
                                        "On Windows without STORED.reg, the values stored in\n"
                                        "this machine's registry with this machine's table")
                             ->expected(0, 1)
                             ->type_name("[STORED.reg]");
    app.add_flag("--probe", o.probe,
                 "With --audit: the result as one line of JSON of at\n"
                 "most 2,048 bytes, for device management (see Exit\n"
                 "status)")
        ->needs(audit)
        ->excludes(json)
        ->excludes(explain);
    app.add_option("--code-page", o.codePage,
                   "The machine's ANSI code page, for the texts of a UTF-16\n"
                   "export (default 1252)")
        ->type_name("N")
        ->needs(audit);
    CLI::Option* save = app.add_option("--save", o.save,
                                       "Also write the table walked, as an rsmb file (an\n"
                                       "8-byte header, then the table) that this tool reads\n"
                                       "on any system")
                            ->type_name("FILE")
                            ->excludes(audit)
                            ->excludes("--probe");
    app.add_option("--field", o.field, "Print only this value, for scripts")
        ->check(CLI::IsMember({"manufacturer", "system-id", "regulatory-id"}))
        ->option_text("manufacturer|system-id|regulatory-id")
        ->excludes(json)
        ->excludes(explain)
        ->excludes(audit)
        ->excludes(save);
    app.add_option("--report", o.report,
                   "A report over probe lines and detection exports (the\n"
                   "INPUTs): one HTML file, or - for a text summary")
        ->type_name("OUT.html|-")
        ->excludes(json)
        ->excludes(explain)
        ->excludes(audit)
        ->excludes(save);
    app.add_option("INPUT", o.inputs, "Table files, directories or - (see Inputs)")->type_name("");
}

int BadUse(const std::string& message) {
    std::cerr << kProgram << ": " << message << " (try '" << kProgram << " --help')\n";
    return kBadInput;
}

int BadInput(const std::string& name, const std::string& message) {
    std::cerr << kProgram << ": " << name << ": " << message << "\n";
    return kBadInput;
}

// The status of a walk, with the reason on standard error when it was cut short.
int WalkStatus(const TableInput& input, const Inspection& inspection) {
    if (inspection.result != 0) return kCompleted;
    std::cerr << kProgram << ": " << input.name << ": " << CutShortReason(inspection) << "\n";
    return kCutShort;
}

// The walk of the other source, when it walks other bytes.
std::optional<Inspection> InspectOther(const TableInput& input, TableSource source) {
    if (!input.SourcesDiffer()) return std::nullopt;
    const TableSource other = OtherSource(source);
    return Inspect(input.Table(other), input.Length(other));
}

void Explain(const TableInput& input, TableSource source, const Inspection& shown,
             const std::optional<Inspection>& other) {
    std::cout << "\n";
    PrintInputExplanation(std::cout, input, source);
    PrintExplanation(std::cout, shown);
    if (other) PrintOtherSource(std::cout, *other, OtherSource(source), shown);
}

// What one table gives, in the form the options ask for.
void Report(const Options& o, const TableInput& input, TableSource source, const Inspection& shown,
            const LiveMachine* machine) {
    const bool both = o.json || o.explain;
    const std::optional<Inspection> other =
        both && machine == nullptr ? InspectOther(input, source) : std::nullopt;
    if (o.json) {
        Json json = InputJson(input, source, shown, other ? &*other : nullptr);
        if (machine != nullptr) {
            json["source"] = LiveSourceName(kLiveSources[machine->shown]);
            json["live"] = LiveJson(*machine);
        }
        WriteJson(std::cout, json, false);
    } else if (!o.field.empty()) {
        std::cout << ValueText(shown, FieldOf(o.field)) << "\n";
    } else {
        PrintValues(std::cout, shown);
        if (o.explain && machine != nullptr) {
            std::cout << "\n";
            PrintLiveSources(std::cout, *machine);
        }
        if (o.explain) Explain(input, source, shown, other);
    }
    std::cout.flush();
}

// --save: the table walked, as an rsmb file.
bool Save(const Options& o, const TableInput& input, TableSource source,
          const LiveMachine* machine) {
    if (o.save.empty()) return true;
    const LiveTable* firmware = machine ? &machine->Table(LiveSource::Firmware) : nullptr;
    const RsmbHeader* version =
        firmware && firmware->input.hasHeader ? &firmware->input.header : nullptr;
    std::string error;
    if (WriteFileBytes(o.save, RsmbFileOf(input, source, version), error)) return true;
    BadInput(o.save, error);
    return false;
}

int RunSingle(const Options& o, const std::string& argument) {
    if (o.source == "firmware")
        return BadUse("--source firmware is this machine's own table: name no input");
    TableInput input;
    std::string error;
    if (!ReadTableInput(argument, input, error)) return BadInput(input.name, error);
    const TableSource source = o.Source();
    const Inspection shown = Inspect(input.Table(source), input.Length(source));
    if (!Save(o, input, source, nullptr)) return kBadInput;
    Report(o, input, source, shown, nullptr);
    return WalkStatus(input, shown);
}

// Where no table source answers, VeskInfo stores three empty values.
int NoLiveTable(const Options& o, const LiveMachine& machine) {
    for (const LiveTable& table : machine.tables)
        if (o.source == LiveSourceName(table.source))
            return BadInput(table.input.name, table.problem);
    if (o.json) {
        Json json = {{"input", "this machine"},
                     {"source", nullptr},
                     {"result", 0},
                     {"walk_completed", false}};
        for (const IdentityField field : kFields)
            json[JsonFieldName(field)] = "";
        json["live"] = LiveJson(machine);
        WriteJson(std::cout, json, false);
    } else {
        std::cout << (o.field.empty() ? "\n\n\n" : "\n");
        if (o.explain) PrintLiveSources(std::cout << "\n", machine);
    }
    std::cout.flush();
    std::cerr << kProgram << ": no table source answered: VeskInfo stores three empty values\n";
    return kCutShort;
}

// This machine's table, through VeskInfo's own sources (Windows).
int RunLive(const Options& o) {
    const LiveMachine machine = AskMachine(o.source, o.json || o.explain || !o.save.empty());
    if (machine.shown < 0) return NoLiveTable(o, machine);
    const LiveTable& table = machine.tables[machine.shown];
    const TableSource part = WalkedPart(table.source);
    const Inspection& shown = machine.walks[machine.shown];
    if (!Save(o, table.input, part, &machine)) return kBadInput;
    Report(o, table.input, part, shown, &machine);
    return WalkStatus(table.input, shown);
}

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

// What an audit compares: the stored values and the walk of a table.
struct AuditSubject {
    std::string storedName; // the export, or "registry"
    int codePage = 0;
    const StoredValues* stored = nullptr;
    const TableInput* table = nullptr;
    TableSource source = TableSource::Wmi;
    Inspection shown;
    std::optional<Inspection> other;
    const LiveMachine* machine = nullptr;
};

void PrintAuditJson(const AuditSubject& subject, const AuditResult& audit, bool only64) {
    Json json = {{"stored", JsonText(subject.storedName)},
                 {"key", JsonText(subject.stored->key)},
                 {"code_page", subject.codePage}};
    if (subject.machine != nullptr) json["only_64_bit_view"] = only64;
    json.update(AuditJson(audit));
    const Inspection* other = subject.other ? &*subject.other : nullptr;
    json["table"] = subject.table != nullptr
                        ? InputJson(*subject.table, subject.source, subject.shown, other)
                        : Json(nullptr);
    if (subject.machine != nullptr) json["live"] = LiveJson(*subject.machine);
    WriteJson(std::cout, json, false);
}

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
    if (!audit.allMatch || only64) return kMismatch;
    return subject.table != nullptr ? WalkStatus(*subject.table, subject.shown) : kCutShort;
}

// --probe: the line, and the status that says whether running VeskInfo would mend it.
int ReportProbe(const ProbeSubject& probe) {
    std::cout << ProbeLine(probe) << "\n";
    std::cout.flush();
    return ProbeExitStatus(probe.status);
}

// The line of status "error", and the message on standard error as without --probe.
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

int RunAudit(const Options& o) {
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
    AuditSubject subject;
    subject.storedName = o.stored;
    subject.codePage = o.codePage;
    subject.stored = &stored;
    subject.table = &table;
    subject.source = o.Source();
    subject.shown = Inspect(table.Table(subject.source), table.Length(subject.source));
    if (o.probe) return ReportProbe(machine, subject, false);
    subject.other = InspectOther(table, subject.source);
    return ReportAudit(o, subject, false);
}

// An installed Windows read from its disk: a SOFTWARE hive, or the Windows folder holding it.
struct Installation {
    bool folder = false;
    WindowsHives hives;
    StoredValues stored;
    bool only64 = false;
};

// True when --audit names hives rather than an export.
bool IsInstallation(const std::string& stored) {
    std::error_code error;
    return std::filesystem::is_directory(std::filesystem::u8path(stored), error) ||
           IsHiveFile(stored);
}

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

// The probe names the machine by the installation's computer name, else by the folder.
std::string InstallationMachine(const Options& o, const Installation& windows) {
    if (!windows.folder) return BytesAsUtf8(o.inputs.empty() ? o.stored : o.inputs[0]);
    const std::string name =
        windows.hives.system.empty() ? "" : ReadHiveComputerName(windows.hives.system);
    return name.empty() ? BytesAsUtf8(o.stored) : name;
}

// --explain of a Windows folder: also against the table of its last start, three side by side.
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
    const DepotFindings findings =
        AuditDepot(*now.stored, now.shown, lastWalk ? &*lastWalk : nullptr, now.source);
    PrintAudit(std::cout, findings.now);
    if (windows.only64) std::cout << kOnly64;
    PrintDepot(std::cout << "\n", findings, sources);
    Explain(*now.table, now.source, now.shown, now.other);
    std::cout.flush();
    if (!findings.now.allMatch || windows.only64) return kMismatch;
    return WalkStatus(*now.table, now.shown);
}

// --audit of a SOFTWARE hive or a Windows folder against TABLE, else this machine's table.
int RunInstallationAudit(const Options& o) {
    Installation windows;
    std::string name, error;
    if (!ReadInstallation(o, windows, name, error))
        return o.probe ? ProbeError(BytesAsUtf8(o.stored), name + ": " + error)
                       : BadInput(name, error);
    const std::string machine = InstallationMachine(o, windows);
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
    const LiveMachine machine = AskMachine(o.source, !o.probe);
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
        if (o.probe) return ReportProbe(ComputerName(), subject, stored.only64);
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

// Several inputs, or a directory: one record per input.
bool IsBatch(const Options& o) {
    if (o.inputs.size() > 1) return true;
    std::error_code error;
    return o.inputs.size() == 1 && o.inputs[0] != "-" &&
           std::filesystem::is_directory(std::filesystem::u8path(o.inputs[0]), error);
}

int RunBatchOf(const Options& o) {
    if (o.explain) return BadUse("--explain takes one input");
    if (!o.save.empty()) return BadUse("--save takes one input");
    if (o.source == "firmware")
        return BadUse("--source firmware is this machine's own table: name no input");
    BatchOptions options;
    options.json = o.json;
    options.source = o.Source();
    options.progress = StandardErrorIsTerminal();
    options.field = o.field;
    return RunBatch(ExpandInputs(o.inputs), options, std::cout, std::cerr);
}

int Run(const Options& o) {
    for (const std::string& input : o.inputs)
        if (input.empty()) return BadUse("empty file name");
    if (!o.report.empty()) {
        if (o.inputs.empty()) return BadUse("--report needs an INPUT");
        if (!o.field.empty() || !o.source.empty())
            return BadUse("--report takes neither --field nor --source");
        return RunFleetReport(o.report, o.inputs, VESK_PRODUCT_VERSION_TEXT, std::cout, std::cerr);
    }
    if (o.audit && !o.stored.empty() && IsInstallation(o.stored)) return RunInstallationAudit(o);
    if (o.audit && !o.stored.empty()) return RunAudit(o);
    if (o.audit && HaveLiveSources()) return RunLiveAudit(o);
    if (o.audit) return BadUse("--audit needs STORED.reg, an export of the stored values");
    if (IsBatch(o)) return RunBatchOf(o);
    if (o.Live()) return RunLive(o);
    return RunSingle(o, o.inputs.empty() ? "" : o.inputs[0]);
}

// True when no argument is an option: then every argument is an input, as the parser would
// find too. Setting the parser up is about a third of the work of a run on one table.
bool OnlyInputs(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments)
        if (argument.size() > 1 && argument[0] == '-') return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    RestrictLibrarySearch();
    std::ios::sync_with_stdio(false);
    UseBinaryStreams();
    Options options;
    std::vector<std::string> arguments = CommandArguments(argc, argv);
    if (OnlyInputs(arguments)) {
        options.inputs = std::move(arguments);
        return Run(options);
    }
    CLI::App app("", kProgram);
    Configure(app, options);
    CLI::Option* audit = app.get_option("--audit");
    try {
        // CLI11 takes the arguments last one first.
        app.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend()));
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kCompleted;
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << "\n";
        return kCompleted;
    } catch (const CLI::ParseError& error) {
        return BadUse(error.what());
    }
    options.audit = audit->count() > 0;
    // "--audit --probe STORED.reg TABLE": the export is the first input.
    if (options.audit && options.stored.empty() && !options.inputs.empty()) {
        options.stored = options.inputs.front();
        options.inputs.erase(options.inputs.begin());
    }
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty()) {
        const std::string& extra = extras.front();
        return BadUse((extra.size() > 1 && extra[0] == '-' ? "unknown option '" : "unexpected '") +
                      extra + "'");
    }
    return Run(options);
}
