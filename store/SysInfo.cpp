#include "store/SysInfo.h"

#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

namespace {

constexpr char kSysInfoKey[] = "SOFTWARE\\Vesk Computer Corporation\\SysInfo";
constexpr char kSystemIdValue[] = "SystemIdHex";
constexpr char kRegulatoryIdValue[] = "RegulatoryID";
constexpr char kManufacturerValue[] = "System Manufacturer";

// Only the letters A to Z change; the trail byte of a double-byte character is not a letter,
// even where its value is that of one.
void LowerCaseAscii(char* text) {
    for (char* p = text; *p != '\0'; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
            if (p[1] == '\0') return;
            ++p;
        } else if (*p >= 'A' && *p <= 'Z') {
            *p = static_cast<char>(*p - 'A' + 'a');
        }
    }
}

void TraceIdentity(const char* manufacturer, const char* systemId, const char* regulatoryId) {
    DebugTrace(TRACE_MANUFACTURER, manufacturer);
    DebugTrace(TRACE_SYSTEM_ID, systemId);
    DebugTrace(TRACE_REGULATORY_ID, regulatoryId);
}

} // namespace

CSysInfo::CSysInfo() {
    DebugTrace(TRACE_BANNER);
}

int CSysInfo::dReadSMBiosData() {
    GetSystemIdentity(&identity);
    TraceIdentity(identity.szManufacturer, identity.szSystemIdHex, identity.szRegulatoryID);
    return 1;
}

int CSysInfo::dSaveVeskInfoRegistryData() {
    DebugTrace(TRACE_SAVE);
    key.WriteString(HKEY_LOCAL_MACHINE, kSysInfoKey, kSystemIdValue, identity.szSystemIdHex);
    key.WriteString(HKEY_LOCAL_MACHINE, kSysInfoKey, kRegulatoryIdValue, identity.szRegulatoryID);
    key.WriteString(HKEY_LOCAL_MACHINE, kSysInfoKey, kManufacturerValue, identity.szManufacturer);
    return 1;
}

int CSysInfo::dLoadVeskInfoRegistryData() {
    szLoadedSystemIdHex[0] = '\0';
    szLoadedRegulatoryID[0] = '\0';
    szLoadedManufacturer[0] = '\0';
    DebugTrace(TRACE_LOAD);
    key.ReadString(HKEY_LOCAL_MACHINE, kSysInfoKey, kSystemIdValue, szLoadedSystemIdHex);
    key.ReadString(HKEY_LOCAL_MACHINE, kSysInfoKey, kRegulatoryIdValue, szLoadedRegulatoryID);
    key.ReadString(HKEY_LOCAL_MACHINE, kSysInfoKey, kManufacturerValue, szLoadedManufacturer);
    LowerCaseAscii(szLoadedSystemIdHex);
    LowerCaseAscii(szLoadedRegulatoryID);
    LowerCaseAscii(szLoadedManufacturer);
    TraceIdentity(szLoadedManufacturer, szLoadedSystemIdHex, szLoadedRegulatoryID);
    return 1;
}
