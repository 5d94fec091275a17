#include "commands/Commands.h"

#include "inspection/Status.h"
#include "report/JsonReport.h"
#include "report/LiveReport.h"
#include "report/Report.h"

#include <iostream>

namespace {

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

} // namespace

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

namespace {

// This machine's table, through VeskInfo's own sources (Windows).
int RunLive(const Options& o) {
    const LiveMachine machine =
        AskMachine(o.source, o.json || o.explain || !o.save.empty(), AskLiveSource);
    if (machine.shown < 0) return NoLiveTable(o, machine);
    const LiveTable& table = machine.tables[machine.shown];
    const TableSource part = WalkedPart(table.source);
    const Inspection& shown = machine.walks[machine.shown];
    if (!Save(o, table.input, part, &machine)) return kBadInput;
    Report(o, table.input, part, shown, &machine);
    return WalkStatus(table.input, shown);
}

} // namespace

int RunShow(const Options& o) {
    if (o.Live()) return RunLive(o);
    return RunSingle(o, o.inputs.empty() ? "" : o.inputs[0]);
}
