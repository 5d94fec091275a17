// Start-up of the process, before the entry runs. Both objects live in this one file so that
// their order is fixed: the record first (its os member switches the trace on, then it traces
// the banner), then the trace channel's own initialiser.
#include "store/SysInfo.h"
#include "trace/DebugTrace.h"

CSysInfo g_SysInfo;

namespace {
const TraceSwitchInitialiser traceSwitchOn;
} // namespace
