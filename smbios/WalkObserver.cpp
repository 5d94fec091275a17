#include "smbios/WalkObserver.h"

const char* ValueSourceName(ValueSource source) {
    switch (source) {
    case ValueSource::ManufacturerString:
        return "manufacturer-string";
    case ValueSource::OemSystemId:
        return "oem-system-id";
    case ValueSource::Type208:
        return "type-208";
    case ValueSource::OemRegulatoryId:
        return "oem-regulatory-id";
    case ValueSource::Fallback:
        return "fallback";
    }
    return "";
}

const char* WalkAnomalyName(WalkAnomaly anomaly) {
    switch (anomaly) {
    case WalkAnomaly::TruncatedStructure:
        return "truncated-structure";
    case WalkAnomaly::UnterminatedStructure:
        return "unterminated-structure";
    case WalkAnomaly::StringNumberOutOfRange:
        return "string-number-out-of-range";
    case WalkAnomaly::MarkerWithoutBracket:
        return "marker-without-bracket";
    case WalkAnomaly::OverLongString:
        return "over-long-string";
    }
    return "";
}
