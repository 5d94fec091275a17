// The first table source: the raw SMBIOS table as the management-instrumentation service
// reports it. Any failure on the way (traced by CWMIInterface) makes the extraction ask the
// registry copy next.
#include "smbios/TableBlock.h"
#include "smbios/WMIInterface.h"

int GetSMBIOSFromWMI(TableBlock& block, int& length) {
    block.reset();
    length = 0;
    CWMIInterface wmi;
    if (wmi.Connect() != kWmiSuccess) return 0;
    const bool copied = wmi.GetSMBIOSInfo(block, length) == kWmiSuccess;
    wmi.ReleaseInterfaces();
    return copied ? 1 : 0;
}
