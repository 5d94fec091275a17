// What the running machine's table sources and registry give, as the live sources (live/) read
// them and the inspection and the reports use them.
#pragma once
#include "input/StoredValues.h"
#include "input/TableInput.h"

#include <string>

// VeskInfo's two table sources, in the order it asks them, and the firmware's own table
// (GetSystemFirmwareTable), which VeskInfo never uses.
enum class LiveSource { Wmi, Registry, Firmware };
constexpr LiveSource kLiveSources[3] = {LiveSource::Wmi, LiveSource::Registry,
                                        LiveSource::Firmware};
const char* LiveSourceName(LiveSource source); // "wmi", "registry", "firmware"

// The part of a live table that is walked: WMI's table alone, the registry copy from its first
// byte (header included), the firmware's table after its header.
TableSource WalkedPart(LiveSource source);

// What one source gave.
struct LiveTable {
    LiveSource source = LiveSource::Wmi;
    bool asked = false;
    bool answered = false; // a table, or (the registry source) an answer without one
    TableInput input;      // the bytes, recognised as the walk takes them
    std::string problem;   // why it gave no table; empty when it gave one
};

// The values VeskInfo stored, from the live registry: the 32-bit view, where a 32-bit VeskInfo
// writes them, else the 64-bit view (`only64`).
struct LiveStoredValues {
    StoredValues values;
    bool only64 = false;
    int codePage = 0; // the machine's ANSI code page, in which the values were written
};
