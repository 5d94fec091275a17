// Walks the raw SMBIOS table for the machine's identity: the system manufacturer, the system
// identifier in hexadecimal and the regulatory identifier.
#pragma once
#include <windows.h>

constexpr int kIdentityTextSize = 260;

// The three identity texts, zero-terminated ANSI, in the order the extraction fills them.
struct SystemIdentity {
    char szManufacturer[kIdentityTextSize];
    char szSystemIdHex[kIdentityTextSize];
    char szRegulatoryID[kIdentityTextSize];
};

constexpr int kCandidateIdSize = 128;
// What the system and regulatory identifiers are when the table gives none.
constexpr char kSystemIdFallback[] = "0";
constexpr char kRegulatoryIdFallback[] = "00000";

// What the walk gathered before the fall-backs are applied; each is empty when not found.
struct IdentityCandidates {
    char manufacturer[kIdentityTextSize]; // the manufacturer string of the last type-1 structure
    char regulatory[kIdentityTextSize];   // after "13[" in the last OEM string holding it
    char oemSystemId[kCandidateIdSize];   // after "1[" in the last OEM string holding it
    char systemId208[kCandidateIdSize];   // hexadecimal text of the last type-208 structure
};

class WalkObserver; // smbios/WalkObserver.h

// Walks `length` bytes of structures from `table`. Returns 1 when the walk used up the data,
// 0 when it was cut short (a string number out of range, or a structure that would need a
// byte outside the table); the candidates then hold what was gathered before that point.
// An observer, when given, is told what the walk meets.
int WalkSMBiosTable(const BYTE* table, int length, IdentityCandidates& candidates,
                    WalkObserver* observer = nullptr);

// Applies the normalisation and the fall-backs "0" and "00000" to the candidates; an observer,
// when given, is told where each value came from.
void FinaliseIdentity(const IdentityCandidates& candidates, SystemIdentity& identity,
                      WalkObserver* observer = nullptr);

// Rewrites `text` (at most `size` bytes with its zero) as the 32-bit value that a "%X" scan
// reads from it, printed with "%X". Text without a hexadecimal number stays unchanged.
// Returns true when a value was read.
bool NormaliseHexText(char* text, size_t size);

// Obtains the table from the first source that answers, walks it and fills `fields`.
// Returns 1 when the walk completed, 0 when no source answered or the walk was cut short.
int GetSystemIdentity(SystemIdentity* fields);
