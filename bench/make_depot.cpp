// Writes the hives of an installed Windows for the demonstrations, the benchmark and the fuzz
// seeds: WINDOWS/System32/config/SOFTWARE with VeskInfo's three values (in the 32-bit view of a
// 64-bit Windows) and SYSTEM with the registry copy of TABLE (an 8-byte header, then the table)
// and the computer's name. PADDING_MIB adds about that many MiB of other keys to SOFTWARE (a
// quarter of it to SYSTEM), as real hives are that large and hivex checks every block at opening.
//   make_depot WINDOWS TABLE MANUFACTURER SYSTEM_ID REGULATORY_ID [COMPUTER_NAME [PADDING_MIB]]
#include "HiveBuilder.h" // tests/inspect

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

std::u16string Wide(const std::string& text) { // Latin-1 bytes
    return std::u16string(text.begin(), text.end());
}

HiveValue Sz(const std::string& key, const char* name, const std::string& text) {
    return {key, name, 1, Utf16Data(Wide(text), false)};
}

// Keys of one value of about 4 KiB each, 128 to a parent, adding up to about `mib` MiB.
void Pad(std::vector<HiveValue>& values, long mib) {
    const std::vector<unsigned char> data(4000, 0x5A); // a cell of 4 KiB with its header
    for (long i = 0; i < mib * 128; ++i) // hivex gives each such key 8 KiB of the file
        values.push_back({"Padding\\Group" + std::to_string(i / 128) + "\\Key" + std::to_string(i),
                          "Data", 3, data});
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::cerr << "usage: make_depot WINDOWS TABLE MANUFACTURER SYSTEM_ID REGULATORY_ID "
                     "[COMPUTER_NAME]\n";
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<unsigned char> table{std::istreambuf_iterator<char>(in), {}};
    std::vector<unsigned char> copy = {0, 3, 0, 0};
    for (int i = 0; i < 4; ++i)
        copy.push_back(static_cast<unsigned char>(table.size() >> (8 * i)));
    copy.insert(copy.end(), table.begin(), table.end());
    const std::string key = "WOW6432Node\\Vesk Computer Corporation\\SysInfo";
    const std::string name = argc > 6 ? argv[6] : "DEPOT-PC";
    const long padding = argc > 7 ? std::atol(argv[7]) : 0;
    const std::filesystem::path config = std::filesystem::path(argv[1]) / "System32" / "config";
    std::filesystem::create_directories(config);
    std::vector<HiveValue> software = {{"Microsoft", "", 1, {}},
                                       Sz(key, "System Manufacturer", argv[3]),
                                       Sz(key, "SystemIdHex", argv[4]),
                                       Sz(key, "RegulatoryID", argv[5])};
    std::vector<HiveValue> system = {
        {"Select", "Current", 4, {1, 0, 0, 0}},
        Sz("ControlSet001\\Control\\ComputerName\\ComputerName", "ComputerName", name),
        {"ControlSet001\\Services\\mssmbios\\Data", "SMBiosData", 3, copy}};
    Pad(software, padding);
    Pad(system, padding / 4);
    std::string error;
    const bool ok = WriteHive((config / "SOFTWARE").string(), software, error) &&
                    WriteHive((config / "SYSTEM").string(), system, error);
    if (!ok) std::cerr << "make_depot: " << error << "\n";
    return ok ? 0 : 1;
}
