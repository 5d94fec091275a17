#include "commands/Commands.h"

#include "inspection/Status.h"
#include "report/Report.h"

#include <iostream>

const char kProgram[] = "veskinfo-inspect";

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
