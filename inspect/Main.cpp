// veskinfo-inspect: what VeskInfo would record from an SMBIOS table, shown on Linux or on the
// Windows machine itself; an audit of the values a machine stored; batches of tables. It runs
// the program's own walk and finalisation, and on Windows its own table sources.
#include "Version.h"
#include "commands/Commands.h"
#include "inspection/Status.h"
#include "platform/Platform.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

namespace {

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

int Run(const Options& o) {
    for (const std::string& input : o.inputs)
        if (input.empty()) return BadUse("empty file name");
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
