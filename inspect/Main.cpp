// veskinfo-inspect: what VeskInfo would record from a raw SMBIOS table, shown on any Linux
// machine. It runs the program's own walk and finalisation.
#include "Inspection.h"
#include "Report.h"
#include "TableInput.h"
#include "Version.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr int kCompleted = 0;
constexpr int kCutShort = 1;
constexpr int kBadUse = 2;
const char kProgram[] = "veskinfo-inspect";

void PrintUsage(std::ostream& out) {
    out << "usage: " << kProgram << " [--explain | --json] [FILE | -]\n"
        << "Prints the manufacturer, system identifier and regulatory identifier that VeskInfo\n"
        << "would record from an SMBIOS structure table, one per line.\n"
        << "  FILE       a raw structure table, or a .reg export of the \"SMBiosData\" value\n"
        << "  -          read the table from standard input\n"
        << "  (none)     this machine's table, " << kMachineTablePath << " (or $"
        << kMachineTableVariable << ")\n"
        << "  --explain  also list the structures walked, where each value came from and the\n"
        << "             anomalies met\n"
        << "  --json     everything as one JSON object\n"
        << "  --version  print the version and exit\n"
        << "Exit status: 0 walk completed, 1 walk cut short (values still printed), 2 usage or\n"
        << "input error.\n";
}

struct Options {
    bool explain = false;
    bool json = false;
    bool help = false;
    bool version = false;
    bool haveInput = false;
    std::string input; // empty: the machine's table
};

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--explain") {
            options.explain = true;
        } else if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg == "--version") {
            options.version = true;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            options.help = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
            return false;
        } else if (options.haveInput) {
            error = "more than one input given ('" + options.input + "', '" + arg + "')";
            return false;
        } else if (arg.empty()) {
            error = "empty file name";
            return false;
        } else {
            options.input = arg;
            options.haveInput = true;
        }
    }
    return true;
}

int Run(const Options& options) {
    TableInput input;
    std::string error;
    if (!ReadTableInput(options.input, input, error)) {
        std::cerr << kProgram << ": " << input.name << ": " << error << "\n";
        return kBadUse;
    }
    const Inspection inspection = Inspect(input.table);
    if (options.json) {
        PrintJson(std::cout, inspection, input.name);
    } else {
        PrintValues(std::cout, inspection);
        if (options.explain) {
            std::cout << "\n";
            PrintExplanation(std::cout, inspection);
        }
    }
    std::cout.flush();
    if (inspection.result != 0) return kCompleted;
    std::cerr << kProgram << ": " << input.name << ": " << CutShortReason(inspection) << "\n";
    return kCutShort;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::cerr << kProgram << ": " << error << " (try '" << kProgram << " --help')\n";
        return kBadUse;
    }
    if (options.help) {
        PrintUsage(std::cout);
        return kCompleted;
    }
    if (options.version) {
        std::cout << kProgram << " " << VESK_PRODUCT_VERSION_TEXT << "\n";
        return kCompleted;
    }
    return Run(options);
}
