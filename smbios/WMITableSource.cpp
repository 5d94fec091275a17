// The first table source: the raw SMBIOS table as the management-instrumentation service
// reports it. Any failure on the way (traced by CWMIInterface) makes the extraction ask the
// registry copy next.
#include "smbios/TableBlock.h"
#include "smbios/WMIInterface.h"

int GetSMBIOSFromWMI(TableBlock& block, int& length, HRESULT* lastResult) {
    block.reset();
    length = 0;
    CWMIInterface wmi;
    const bool copied =
        wmi.Connect() == kWmiSuccess && wmi.GetSMBIOSInfo(block, length) == kWmiSuccess;
    if (lastResult != nullptr) *lastResult = wmi.lastHResult;
    wmi.ReleaseInterfaces();
    return copied ? 1 : 0;
}
