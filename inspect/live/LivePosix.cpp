#include "live/Live.h"

bool HaveLiveSources() {
    return false;
}

LiveTable AskLiveSource(LiveSource source) {
    LiveTable table;
    table.source = source;
    table.problem = "read only by the Windows build";
    return table;
}

bool ReadLiveStoredValues(LiveStoredValues&, std::string& error) {
    error = "the stored values are read from the registry only by the Windows build: name an "
            "export of them (--audit STORED.reg)";
    return false;
}
