#include "commands/Commands.h"

#include "platform/Platform.h"
#include "report/LiveReport.h"

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
