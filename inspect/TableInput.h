// Reading the table the inspector is asked about: a raw structure-table file, standard input,
// the running machine's own table, or a registry export of the "SMBiosData" value.
#pragma once
#include <string>
#include <vector>

constexpr const char* kMachineTablePath = "/sys/firmware/dmi/tables/DMI";
// Overrides kMachineTablePath (a sysfs mounted elsewhere, a chroot, the tests).
constexpr const char* kMachineTableVariable = "VESKINFO_DMI_TABLE";

struct TableInput {
    std::string name;                 // as the messages name it
    std::vector<unsigned char> table; // the bytes VeskInfo would walk
    bool fromRegExport = false;
};

// Reads `argument` ("-" for standard input, empty for the machine's table) into `input`.
// On failure returns false with `error` saying what is wrong in one line, without the name.
bool ReadTableInput(const std::string& argument, TableInput& input, std::string& error);
