// veskinfo-inspect: what VeskInfo would record from an SMBIOS table, shown on any Linux
// machine; an audit of the values a machine stored; batches of tables. It runs the program's
// own walk and finalisation.
#include "Audit.h"
#include "Batch.h"
#include "CodePage.h"
#include "Inspection.h"
#include "JsonReport.h"
#include "Report.h"
#include "Status.h"
#include "StoredValues.h"
#include "TableInput.h"
#include "Version.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kProgram[] = "veskinfo-inspect";

const char kUsage[] =
    "Usage: veskinfo-inspect [OPTIONS] [INPUT...]\n"
    "  or:  veskinfo-inspect --audit STORED.reg [OPTIONS] [TABLE]\n"
    "Prints the manufacturer, system identifier and regulatory identifier that VeskInfo would\n"
    "record from an SMBIOS table, one per line; with several inputs, one record per input.\n"
    "With --audit, compares the values a machine stored with what VeskInfo records from its\n"
    "table.\n";

const char kFooter[] =
    "Inputs:\n"
    "  raw             a structure table from its first byte (as /sys/firmware/dmi/tables/DMI)\n"
    "  dmidecode-dump  a file written by dmidecode --dump-bin (an entry point at offset 0)\n"
    "  rsmb            a saved GetSystemFirmwareTable('RSMB') buffer: an 8-byte header, then\n"
    "                  the table\n"
    "  reg-export      a .reg export of the \"SMBiosData\" value\n"
    "  -               standard input\n"
    "  (none)          this machine's table, /sys/firmware/dmi/tables/DMI (or\n"
    "                  $VESKINFO_DMI_TABLE)\n"
    "  A directory stands for every file below it, in name order.\n\n"
    "Exit status:\n"
    "  0  the walk completed (with --audit: all three values match)\n"
    "  1  the walk was cut short (the values are still printed)\n"
    "  2  usage or input error\n"
    "  3  with --audit: a stored value differs\n"
    "  With several inputs, the worst status among them.";

struct Options {
    bool explain = false;
    bool json = false;
    std::string source = "wmi";
    std::string audit;
    int codePage = 1252;
    std::string field;
    std::vector<std::string> inputs;

    TableSource Source() const {
        return source == "registry" ? TableSource::Registry : TableSource::Wmi;
    }
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
                   "WMI answers; the default) or registry (the registry\n"
                   "copy walked from its first byte, header included)")
        ->check(CLI::IsMember({"wmi", "registry"}))
        ->option_text("wmi|registry");
    CLI::Option* audit = app.add_option("--audit", o.audit,
                                        "Compare the values in STORED.reg, an export of\n"
                                        "HKLM\\SOFTWARE\\Vesk Computer Corporation\\SysInfo, with\n"
                                        "what VeskInfo records from TABLE (or from the export's\n"
                                        "own \"SMBiosData\" value)")
                             ->type_name("STORED.reg");
    app.add_option("--code-page", o.codePage,
                   "The machine's ANSI code page, for the texts of a UTF-16\n"
                   "export (default 1252)")
        ->type_name("N")
        ->needs(audit);
    app.add_option("--field", o.field, "Print only this value, for scripts")
        ->check(CLI::IsMember({"manufacturer", "system-id", "regulatory-id"}))
        ->option_text("manufacturer|system-id|regulatory-id")
        ->excludes(json)
        ->excludes(explain)
        ->excludes(audit);
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

int RunSingle(const Options& o, const std::string& argument) {
    TableInput input;
    std::string error;
    if (!ReadTableInput(argument, input, error)) return BadInput(input.name, error);
    const TableSource source = o.Source();
    const Inspection shown = Inspect(input.Table(source), input.Length(source));
    const bool both = o.json || o.explain;
    const std::optional<Inspection> other = both ? InspectOther(input, source) : std::nullopt;
    if (o.json) {
        WriteJson(std::cout, InputJson(input, source, shown, other ? &*other : nullptr), false);
    } else if (!o.field.empty()) {
        std::cout << ValueText(shown, FieldOf(o.field)) << "\n";
    } else {
        PrintValues(std::cout, shown);
        if (o.explain) Explain(input, source, shown, other);
    }
    std::cout.flush();
    return WalkStatus(input, shown);
}

// The table to audit against: TABLE, or the "SMBiosData" value of the export itself.
bool AuditTable(const Options& o, const StoredValues& stored, TableInput& table,
                std::string& error) {
    if (!o.inputs.empty()) return ReadTableInput(o.inputs[0], table, error);
    table.name = o.audit;
    table.format = InputFormat::RegExport;
    if (!FindSMBiosData(stored.file, table.bytes, error)) {
        error += ": name the TABLE to compare with";
        return false;
    }
    RecogniseRegistryValue(table);
    return true;
}

void PrintAuditJson(const Options& o, const StoredValues& stored, const AuditResult& audit,
                    const TableInput& table, const Inspection& shown,
                    const std::optional<Inspection>& other) {
    Json json = {
        {"stored", JsonText(o.audit)}, {"key", JsonText(stored.key)}, {"code_page", o.codePage}};
    json.update(AuditJson(audit));
    json["table"] = InputJson(table, o.Source(), shown, other ? &*other : nullptr);
    WriteJson(std::cout, json, false);
}

int RunAudit(const Options& o) {
    if (o.inputs.size() > 1) return BadUse("--audit takes one TABLE");
    CodePage codePage;
    std::vector<unsigned char> bytes;
    StoredValues stored;
    std::string error;
    if (!codePage.Open(o.codePage, error) || !ReadInputBytes(o.audit, bytes, error) ||
        !ReadStoredValues(bytes, codePage, stored, error))
        return BadInput(o.audit, error);
    TableInput table;
    if (!AuditTable(o, stored, table, error)) return BadInput(table.name, error);
    const TableSource source = o.Source();
    const Inspection shown = Inspect(table.Table(source), table.Length(source));
    const std::optional<Inspection> other = InspectOther(table, source);
    const AuditResult audit = Audit(stored, shown, other ? &*other : nullptr, source);
    if (o.json) {
        PrintAuditJson(o, stored, audit, table, shown, other);
    } else {
        PrintAudit(std::cout, audit);
        if (o.explain) {
            std::cout << "\nStored: " << o.audit << ", key " << stored.key << "\n";
            Explain(table, source, shown, other);
        }
    }
    std::cout.flush();
    const int walk = WalkStatus(table, shown);
    return audit.allMatch ? walk : kMismatch;
}

// Several inputs, or a directory: one record per input.
bool IsBatch(const Options& o) {
    if (o.inputs.size() > 1) return true;
    std::error_code error;
    return o.inputs.size() == 1 && o.inputs[0] != "-" &&
           std::filesystem::is_directory(o.inputs[0], error);
}

int RunBatchOf(const Options& o) {
    if (o.explain) return BadUse("--explain takes one input");
    BatchOptions options;
    options.json = o.json;
    options.source = o.Source();
    options.progress = isatty(STDERR_FILENO) != 0;
    options.field = o.field;
    return RunBatch(ExpandInputs(o.inputs), options, std::cout, std::cerr);
}

int Run(const Options& o) {
    for (const std::string& input : o.inputs)
        if (input.empty()) return BadUse("empty file name");
    if (!o.audit.empty()) return RunAudit(o);
    if (IsBatch(o)) return RunBatchOf(o);
    return RunSingle(o, o.inputs.empty() ? "" : o.inputs[0]);
}

// True when no argument is an option: then every argument is an input, as the parser would
// find too. Setting the parser up is about a third of the work of a run on one table.
bool OnlyInputs(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && argv[i][1] != '\0') return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    Options options;
    if (OnlyInputs(argc, argv)) {
        options.inputs.assign(argv + 1, argv + argc);
        return Run(options);
    }
    CLI::App app("", kProgram);
    Configure(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kCompleted;
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << "\n";
        return kCompleted;
    } catch (const CLI::ParseError& error) {
        return BadUse(error.what());
    }
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty()) {
        const std::string& extra = extras.front();
        return BadUse((extra.size() > 1 && extra[0] == '-' ? "unknown option '" : "unexpected '") +
                      extra + "'");
    }
    return Run(options);
}
