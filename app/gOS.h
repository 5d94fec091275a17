// The operating-system object: is this the supported family (the NT platform, major version 6),
// and is it a 64-bit system. Both answers also go to the trace.
#pragma once
#include <windows.h>

class CgOS {
  public:
    // Switches the trace on and does nothing else.
    CgOS();

    // Queries the version and traces it.
    void LoadOSVersion();
    // 1 on the NT platform with major version 6, whatever the minor version; else 0.
    int IsVistaOS();
    // Non-zero (the WoW64 directory's length) on a 64-bit system, else 0; never raises.
    int Is64BitOS();
    // The version as the last LoadOSVersion found it (zero before the first).
    DWORD MajorVersion() const { return m_osVersion.dwMajorVersion; }
    DWORD MinorVersion() const { return m_osVersion.dwMinorVersion; }

  private:
    // Left as it was when the version query goes unanswered.
    OSVERSIONINFOA m_osVersion = {};
};
