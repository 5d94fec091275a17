// The running machine's own table sources and stored values, read as VeskInfo reads them. Only
// the Windows build has them (LiveWindows.cpp); the Linux build reads the machine's table from
// a file instead (LivePosix.cpp says so).
#pragma once
#include "input/LiveTable.h"

#include <string>

// True where this build reads the machine's own table sources and registry.
bool HaveLiveSources();

// Asks one source through the program's own code (the WMI and the registry source), or the
// firmware table call.
LiveTable AskLiveSource(LiveSource source);

// False with a one-line `error` when the key cannot be read (missing in both views is no
// error: every value is then missing).
bool ReadLiveStoredValues(LiveStoredValues& stored, std::string& error);
