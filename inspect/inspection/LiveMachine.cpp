#include "inspection/LiveMachine.h"

namespace {

int IndexOf(LiveSource source) {
    return static_cast<int>(source);
}

void Ask(LiveMachine& machine, LiveSource source, AskSource ask) {
    LiveTable& table = machine.tables[IndexOf(source)];
    table = ask(source);
    if (!table.answered) return;
    const TableSource part = WalkedPart(source);
    machine.walks[IndexOf(source)] = Inspect(table.input.Table(part), table.input.Length(part));
}

bool Answered(const LiveMachine& machine, LiveSource source) {
    return machine.Table(source).answered;
}

} // namespace

LiveMachine AskMachine(const std::string& only, bool all, AskSource ask) {
    LiveMachine machine;
    if (all || only.empty() || only == "wmi") Ask(machine, LiveSource::Wmi, ask);
    if (all || only == "registry" || (only.empty() && !Answered(machine, LiveSource::Wmi)))
        Ask(machine, LiveSource::Registry, ask);
    if (all || only == "firmware") Ask(machine, LiveSource::Firmware, ask);
    for (const LiveSource source : {LiveSource::Wmi, LiveSource::Registry}) {
        if (Answered(machine, source)) {
            machine.veskinfoUses = IndexOf(source);
            break;
        }
    }
    machine.shown = machine.veskinfoUses;
    for (const LiveSource source : kLiveSources)
        if (only == LiveSourceName(source))
            machine.shown = Answered(machine, source) ? IndexOf(source) : -1;
    return machine;
}
