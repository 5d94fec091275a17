// The running machine's own table sources and stored values, read as VeskInfo reads them. Only
// the Windows build has them (LiveWindows.cpp); the Linux build reads the machine's table from
// a file instead (LivePosix.cpp says so).
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

// True where this build reads the machine's own table sources and registry.
bool HaveLiveSources();

// Asks one source through the program's own code (the WMI and the registry source), or the
// firmware table call.
LiveTable AskLiveSource(LiveSource source);

// The values VeskInfo stored, from the live registry: the 32-bit view, where a 32-bit VeskInfo
// writes them, else the 64-bit view (`only64`).
struct LiveStoredValues {
    StoredValues values;
    bool only64 = false;
    int codePage = 0; // the machine's ANSI code page, in which the values were written
};

// False with a one-line `error` when the key cannot be read (missing in both views is no
// error: every value is then missing).
bool ReadLiveStoredValues(LiveStoredValues& stored, std::string& error);
