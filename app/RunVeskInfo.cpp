#include "app/RunVeskInfo.h"

#include "platform/DllSearch.h"
#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

int RunVeskInfo(CSysInfo& record) {
    if (!record.os.IsVistaOS()) {
        DebugTrace(TRACE_NOT_VISTA);
        return -1;
    }
    // Before anything loads a library on the program's behalf: the probe, COM and WMI.
    RestrictDllSearch(record.os.MajorVersion(), record.os.MinorVersion());
    record.os.Is64BitOS(); // shows only in the trace
    // The exit code is the caller's only news of the outcome; whatever was written stays.
    try {
        record.dReadSMBiosData();
        record.dSaveVeskInfoRegistryData();
        record.dLoadVeskInfoRegistryData();
    } catch (...) {
        return -1;
    }
    return 0;
}
