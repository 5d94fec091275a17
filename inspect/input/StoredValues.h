// The three values VeskInfo stored, read from a registry export of its key
// HKLM\SOFTWARE\Vesk Computer Corporation\SysInfo (or of the WOW6432Node copy a 64-bit registry
// editor shows), as the bytes the program wrote in the machine's ANSI code page.
#pragma once
#include "input/RegExport.h"
#include "platform/CodePage.h"
#include "smbios/WalkObserver.h"

#include <string>
#include <vector>

struct StoredValue {
    bool present = false;
    std::string text;    // the stored bytes, when the value reads as text
    std::string problem; // why the value cannot be a text VeskInfo stored; empty when it can
};

struct StoredValues {
    std::string key;       // the key section the values came from
    StoredValue values[3]; // by IdentityField
    RegFile file;          // the whole export, for its "SMBiosData" value

    const StoredValue& ValueOf(IdentityField field) const {
        return values[static_cast<int>(field)];
    }
};

// VeskInfo's key under HKEY_LOCAL_MACHINE.
constexpr char kSysInfoSubkey[] = "SOFTWARE\\Vesk Computer Corporation\\SysInfo";

constexpr int kRegSz = 1;
constexpr int kRegDword = 4;
// Why a value of registry type `type` (other than REG_SZ) is no text VeskInfo stored.
std::string TypeProblem(int type);
// Why a text with a character `codePage` lacks is no text VeskInfo stored.
std::string CodePageProblem(const CodePage& codePage);

// "System Manufacturer", "SystemIdHex", "RegulatoryID".
const char* StoredValueName(IdentityField field);

// Reads the values of VeskInfo's key from the export `bytes`; the texts of a UTF-16 export are
// converted into `codePage`. False with a one-line `error` when `bytes` are no export of the key.
bool ReadStoredValues(const std::vector<unsigned char>& bytes, const CodePage& codePage,
                      StoredValues& stored, std::string& error);

// A REG_SZ's UTF-16LE data (as a registry hive holds it) as a stored value: read up to its first
// zero unit, so that a value with a terminator and one without read as the same text, converted
// into `codePage`. Another type is reported as such.
void ReadUtf16Value(int type, const std::vector<unsigned char>& data, const CodePage& codePage,
                    StoredValue& stored);
