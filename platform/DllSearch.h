// Keeps DLLs that an attacker places in the program's folder or the current folder out of the
// process. The program runs elevated, often started from a folder anyone can write to, and
// system libraries load further DLLs by name (COM and WMI do); without a restriction Windows
// looks for them in the program's folder first.
#pragma once
#include <windows.h>

// Limits the search for DLLs loaded by name to the system directory (SetDefaultDllDirectories,
// looked up at run time because Vista and 7 have it only with the 2011 loader update); where
// that is missing or refused, takes at least the current folder out of the search. Does
// nothing on version 6.0, where COM activation has been reported to fail after the call.
// Libraries registered by full path, such as COM servers, load as before.
void RestrictDllSearch(DWORD majorVersion, DWORD minorVersion);
