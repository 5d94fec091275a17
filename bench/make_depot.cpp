// Writes the hives of an installed Windows for the demonstrations, the benchmark and the fuzz
// seeds: WINDOWS/System32/config/SOFTWARE with VeskInfo's three values (in the 32-bit view of a
// 64-bit Windows), and SYSTEM with the computer's name and HardwareConfig: TABLE's board (its
// UUID, maker and product) as the board of the last start, and an older board as Windows 7 left
// it (only SystemBiosVersion). PADDING_MIB adds about that many MiB of other keys to SOFTWARE (a
// quarter of it to SYSTEM), as real hives are that large and hivex checks every block at
// opening. LOG_MIB leaves SOFTWARE dirty as Windows does: the file holds the hive before
// VeskInfo ran, and VeskInfo's values with about LOG_MIB MiB of other changes are only in
// SOFTWARE.LOG1 and SOFTWARE.LOG2 (one flush each); with "old", in SOFTWARE.LOG in the old
// format, as Windows 7 writes it; with "clean", the same last state is written as a clean hive,
// without logs.
//   make_depot WINDOWS TABLE MANUFACTURER SYSTEM_ID REGULATORY_ID
//              [COMPUTER_NAME [PADDING_MIB [LOG_MIB [clean|old]]]]
#include "HiveBuilder.h"   // tests/inspect
#include "HiveLogWriter.h" // tests/inspect
#include "input/HardwareConfig.h"
#include "inspection/Inspection.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace {

std::u16string Wide(const std::string& text) { // Latin-1 bytes
    return std::u16string(text.begin(), text.end());
}

HiveValue Sz(const std::string& key, const char* name, const std::string& text,
             bool terminator = false) {
    return {key, name, 1, Utf16Data(Wide(text), terminator)};
}

// Keys of one value of about 4 KiB each, 128 to a parent, adding up to about `mib` MiB.
void Pad(std::vector<HiveValue>& values, long mib, const std::string& parent = "Padding") {
    const std::vector<unsigned char> data(4000, 0x5A); // a cell of 4 KiB with its header
    for (long i = 0; i < mib * 128; ++i) // hivex gives each such key 8 KiB of the file
        values.push_back(
            {parent + "\\Group" + std::to_string(i / 128) + "\\Key" + std::to_string(i), "Data", 3,
             data});
}

// TABLE's board as Windows 10 records it, the last start; and an older board.
void AddBoards(std::vector<HiveValue>& values, const Bytes& table) {
    const Inspection walk = Inspect(table);
    unsigned char uuid[16] = {};
    const Inspection::Structure* system = SystemStructure(walk);
    if (system == nullptr || !SystemUuid(walk, table.data(), table.size(), uuid)) return;
    const auto text = [&](int byte) {
        const Inspection::String* string =
            walk.StringAt(system->offset, table[static_cast<size_t>(system->offset + byte)]);
        return string != nullptr ? string->text : "";
    };
    std::string name = "{" + GuidText(uuid) + "}";
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string key = "HardwareConfig\\" + name, old = "HardwareConfig\\{4c4c4544-0042-"
                                                             "3510-8052-b3c04f4b4d31}";
    values.push_back(Sz("HardwareConfig", "LastConfig", name, true));
    const std::pair<const char*, std::string> texts[] = {
        {"SystemManufacturer", text(4)}, {"SystemProductName", text(5)},
        {"SystemFamily", "Vesk Desk"},   {"SystemSKU", "VD7400-EU"},
        {"SystemVersion", text(6)},      {"BIOSVendor", "Vesk Computer Corporation"},
        {"BIOSVersion", "2.4.1"},        {"BIOSReleaseDate", "01/05/2026"}};
    for (const auto& [value, data] : texts)
        values.push_back(Sz(key, value, data, true));
    values.push_back({key, "LastUse", 3, FileTimeData(134405865000000000)}); // 2026-12-01T08:15:00Z
    values.push_back({old, "SystemBiosVersion", 7,
                      Utf16Data(std::u16string(u"VESK   - 1072009\0"
                                               u"A05\0",
                                               22),
                                true)});
    values.push_back({old, "LastUse", 3, FileTimeData(131961495670000000)}); // 2019-03-04T05:06:07Z
}

// SOFTWARE as Windows leaves it when its last two flushes are only in the logs: before, VeskInfo's
// values and half the changes, then the other half.
bool WriteDirty(const std::string& path, const std::vector<HiveValue>& software, long logMib,
                const std::string& mode, std::string& error) {
    const bool clean = mode == "clean";
    const std::vector<HiveValue> before(software.begin(), software.begin() + 1);
    std::vector<HiveValue> first(software.begin() + 1, software.begin() + 4), second;
    Pad(first, logMib / 2 + logMib % 2, "Changes\\First");
    Pad(second, logMib / 2, "Changes\\Second");
    std::vector<HiveValue> padding(software.begin() + 4, software.end());
    padding.insert(padding.begin(), before.begin(), before.end());
    std::vector<Bytes> states;
    for (const auto* step : {&padding, &first, &second}) {
        if (!(step == &padding ? WriteHive(path, *step, error) : AddToHive(path, *step, error)))
            return false;
        if (!clean) states.push_back(LoadFile(path));
    }
    if (clean) return true;
    uint32_t sequence = 0; // the hive's own, as hivex left it
    for (int i = 3; i >= 0; --i)
        sequence = sequence << 8 | states[0][4 + static_cast<size_t>(i)];
    SaveFile(path, DirtyHive(states[0], sequence + 2, sequence));
    if (mode == "old") {
        SaveFile(path + ".LOG", OldFormatLog(states[0], states[2], 134405865000000000));
        return true;
    }
    SaveFile(path + ".LOG1", NewFormatLog({states[0], states[1]}, sequence));
    SaveFile(path + ".LOG2", NewFormatLog({states[1], states[2]}, sequence + 1));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::cerr << "usage: make_depot WINDOWS TABLE MANUFACTURER SYSTEM_ID REGULATORY_ID "
                     "[COMPUTER_NAME [PADDING_MIB [LOG_MIB [clean|old]]]]\n";
        return 2;
    }
    const Bytes table = LoadFile(argv[2]);
    const std::string key = "WOW6432Node\\Vesk Computer Corporation\\SysInfo";
    const std::string name = argc > 6 ? argv[6] : "DEPOT-PC";
    const long padding = argc > 7 ? std::atol(argv[7]) : 0;
    const long logMib = argc > 8 ? std::atol(argv[8]) : -1;
    const std::string mode = argc > 9 ? argv[9] : "";
    const std::filesystem::path config = std::filesystem::path(argv[1]) / "System32" / "config";
    std::filesystem::create_directories(config);
    std::vector<HiveValue> software = {{"Microsoft", "", 1, {}},
                                       Sz(key, "System Manufacturer", argv[3]),
                                       Sz(key, "SystemIdHex", argv[4]),
                                       Sz(key, "RegulatoryID", argv[5])};
    std::vector<HiveValue> system = {
        {"Select", "Current", 4, {1, 0, 0, 0}},
        Sz("ControlSet001\\Control\\ComputerName\\ComputerName", "ComputerName", name, true)};
    AddBoards(system, table);
    Pad(software, padding);
    Pad(system, padding / 4);
    const std::string softwarePath = (config / "SOFTWARE").string();
    std::string error;
    const bool ok = (logMib < 0 ? WriteHive(softwarePath, software, error)
                                : WriteDirty(softwarePath, software, logMib, mode, error)) &&
                    WriteHive((config / "SYSTEM").string(), system, error);
    if (!ok) std::cerr << "make_depot: " << error << "\n";
    return ok ? 0 : 1;
}
