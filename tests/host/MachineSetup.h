// Shared set-up of the simulated machine for the tests of the record and the run.
#pragma once
#include "control.h"
#include "pure/TableBuilder.h"

#include <string>
#include <vector>

namespace machine {

inline const std::string kSysInfoKey = "HKLM\\SOFTWARE\\Vesk Computer Corporation\\SysInfo";
inline const std::string kSMBiosKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data";

// The copy of the SMBIOS table that the driver service keeps in the registry.
inline void SeedSMBiosTable(const std::vector<BYTE>& table, unsigned long type = REG_BINARY) {
    winsim::SeedRegistryValue(kSMBiosKey, "SMBiosData", type, table);
}

// A table giving the manufacturer "Acme Corp.", the system identifier 1F3 and the regulatory
// identifier ABC01.
inline std::vector<BYTE> AcmeTable() {
    return TableBuilder()
        .System(1, {"Acme Corp.", "Box 9"})
        .Oem({"1[01f3]", "13[ABC01]"})
        .End()
        .Bytes();
}

// The text stored under the SysInfo key, without the zero that Windows NT adds after it, or
// "(absent)".
inline std::string StoredText(const std::string& value) {
    auto stored = winsim::ReadRegistryValue(kSysInfoKey, value);
    if (!stored) return "(absent)";
    std::string text(stored->data.begin(), stored->data.end());
    return text.substr(0, text.find('\0'));
}

// The byte counts the program passed to RegSetValueExA, in call order, with the value names.
inline std::vector<std::vector<std::string>> ValueWrites() {
    std::vector<std::vector<std::string>> writes;
    for (const winsim::Call& call : winsim::CallsTo("RegSetValueExA"))
        writes.push_back({call.args[1], call.args[3], call.args[4]});
    return writes;
}

// The debugger output without the management-instrumentation source's lines, which that
// source's own tests pin down.
inline std::vector<std::string> TextsWithoutWmi() {
    std::vector<std::string> texts;
    for (const std::string& text : winsim::DebugTexts())
        if (text.rfind("CWMIInterface::", 0) != 0 && text.rfind("Error code: ", 0) != 0)
            texts.push_back(text);
    return texts;
}

} // namespace machine
