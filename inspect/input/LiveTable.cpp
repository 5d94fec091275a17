#include "input/LiveTable.h"

const char* LiveSourceName(LiveSource source) {
    switch (source) {
    case LiveSource::Wmi:
        return "wmi";
    case LiveSource::Registry:
        return "registry";
    case LiveSource::Firmware:
        return "firmware";
    }
    return "";
}

TableSource WalkedPart(LiveSource source) {
    return source == LiveSource::Registry ? TableSource::Registry : TableSource::Wmi;
}
