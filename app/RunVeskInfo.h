// The run sequence behind the program entry.
#pragma once
#include "store/SysInfo.h"

// Checks the operating system, probes it for 64 bits, then collects, stores and reads back the
// identity through `record`. Returns the exit code: 0, or -1 when the system is not of the
// supported family or a failure escaped the work.
int RunVeskInfo(CSysInfo& record);
