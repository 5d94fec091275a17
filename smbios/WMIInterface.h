// Reads the raw SMBIOS table from the management-instrumentation service: the byte-array
// property "SMBiosData" of the first instance of "MSSmBios_RawSMBiosTables" in "ROOT\wmi".
#pragma once
#include <windows.h>

#include <wbemidl.h>

#include "smbios/TableBlock.h"

constexpr int kWmiSuccess = 0;
constexpr int kWmiFailure = 9;

class CWMIInterface {
  public:
    CWMIInterface() = default;
    virtual ~CWMIInterface();
    CWMIInterface(const CWMIInterface&) = delete;
    CWMIInterface& operator=(const CWMIInterface&) = delete;

    // Starts COM and connects to the namespace. kWmiSuccess or kWmiFailure.
    int Connect();
    // Copies the table into a new block. kWmiSuccess or kWmiFailure; on failure `block` and
    // `length` are left as they were.
    int GetSMBIOSInfo(TableBlock& block, int& length);
    // Gives back the services interface, then the locator. Safe to call again: what was
    // released is not held any more, and a release that fails keeps its pointer.
    void ReleaseInterfaces();

    int connected = 0;
    // The last HRESULT a call of Connect or GetSMBIOSInfo met, for callers that report why no
    // table came (the program itself only traces the connection's failures).
    HRESULT lastHResult = S_OK;
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;

  private:
    bool ConnectStages(HRESULT& lastResult);
};
