// veskinfo-inspect: what VeskInfo would record from an SMBIOS table, shown on Linux or on the
// Windows machine itself; an audit of the values a machine stored; batches of tables. It runs
// the program's own walk and finalisation, and on Windows its own table sources.
#include "Help.h"
#include "Version.h"
#include "commands/Commands.h"
#include "inspection/Status.h"
#include "platform/Platform.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

namespace {

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
                                        "be a SOFTWARE hive, or a mounted Windows volume or its\n"
                                        "Windows folder (against this machine's table by\n"
                                        "default; with --explain or --json also against the\n"
                                        "boards it started on; a hive Windows left dirty is\n"
                                        "first recovered from its logs, in memory).\n"
                                        "On Windows without STORED.reg, the values stored in\n"
                                        "this machine's registry with this machine's table")
                             ->expected(0, 1)
                             ->type_name("[STORED.reg]");
    app.add_flag("--probe", o.probe,
                 "With --audit: the result as one line of JSON of at\n"
                 "most 2,046 bytes, for device management (see Exit\n"
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
    CLI::Option* report = app.add_option("--report", o.report,
                                         "A report over probe lines and detection exports (the\n"
                                         "INPUTs), one record a device: an HTML file, a CSV file\n"
                                         "of the machines (OUT.csv), or - for a text summary")
                              ->type_name("OUT.html|OUT.csv|-")
                              ->excludes(json)
                              ->excludes(explain)
                              ->excludes(audit)
                              ->excludes(save);
    app.add_option("--date-order", o.dateOrder,
                   "With --report: how to read a time such as 09/12/2026,\n"
                   "day first (dmy) or month first (mdy). By default each\n"
                   "file's own times settle it; a time they leave in doubt\n"
                   "is counted as not read")
        ->check(CLI::IsMember({"dmy", "mdy"}))
        ->option_text("dmy|mdy")
        ->needs(report);
    app.add_flag("--repair", o.repair,
                 "On Windows: the probe; where it says running VeskInfo\n"
                 "mends the values, runs the VeskInfo.exe beside this\n"
                 "program and probes again (both lines are written)");
    app.add_option("INPUT", o.inputs, "Table files, directories or - (see Inputs)")->type_name("");
}

int Run(const Options& o) {
    for (const std::string& input : o.inputs)
        if (input.empty()) return BadUse("empty file name");
    if (o.repair) return RunRepair(o);
    if (!o.report.empty()) return RunReport(o);
    if (o.audit) return RunAudit(o);
    if (IsBatch(o)) return RunBatchOf(o);
    return RunShow(o);
}

} // namespace

int main(int argc, char** argv) {
    RestrictLibrarySearch();
    std::ios::sync_with_stdio(false);
    UseBinaryStreams();
    Options options;
    std::vector<std::string> arguments = CommandArguments(argc, argv);
    if (Options::OnlyInputs(arguments)) {
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
    options.TakeStoredFromInputs();
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty()) {
        const std::string& extra = extras.front();
        return BadUse((extra.size() > 1 && extra[0] == '-' ? "unknown option '" : "unexpected '") +
                      extra + "'");
    }
    return Run(options);
}
