// The identity record of the run: the identity found in the SMBIOS table, its copy read back
// from the registry, and the operating-system object the run consults.
#pragma once
#include "app/gOS.h"
#include "smbios/SystemIdentity.h"
#include "store/RegistryKey.h"

class CSysInfo {
  public:
    // Constructs `os` (which switches the trace on), then `key`, then traces the banner.
    CSysInfo();

    // Fills `identity` from the SMBIOS table and traces it. Returns 1.
    int dReadSMBiosData();
    // Stores the three identity values under the SysInfo key; a failed write is silent.
    // Returns 1.
    int dSaveVeskInfoRegistryData();
    // Reads the three values back, lower-cases the copies and traces them; a failed read
    // leaves its copy empty. Returns 1.
    int dLoadVeskInfoRegistryData();

    // Read back from the registry by dLoadVeskInfoRegistryData, lower-cased.
    char szLoadedSystemIdHex[kIdentityTextSize] = {};
    char szLoadedRegulatoryID[kIdentityTextSize] = {};
    char szLoadedManufacturer[kIdentityTextSize] = {};
    // Found by dReadSMBiosData: szManufacturer, szSystemIdHex, szRegulatoryID side by side.
    SystemIdentity identity = {};
    CgOS os;
    CRegistryKey key;
};

// The one record of the process, made before the entry runs and never destroyed.
extern CSysInfo g_SysInfo;
