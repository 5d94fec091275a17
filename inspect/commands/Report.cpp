#include "commands/Commands.h"

#include "Version.h"
#include "report/FleetReport.h"

#include <iostream>

int RunReport(const Options& o) {
    if (o.inputs.empty()) return BadUse("--report needs an INPUT");
    if (!o.field.empty() || !o.source.empty())
        return BadUse("--report takes neither --field nor --source");
    const DateOrder order = o.dateOrder == "dmy"   ? DateOrder::DayFirst
                            : o.dateOrder == "mdy" ? DateOrder::MonthFirst
                                                   : DateOrder::Unsettled;
    return RunFleetReport(o.report, o.inputs, order, VESK_PRODUCT_VERSION_TEXT, std::cout,
                          std::cerr);
}
