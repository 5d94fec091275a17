// An installed Windows read from its hive files, as at the service depot: a Windows folder with
// System32/config/SOFTWARE and SYSTEM built here, each case audited from the folder through the
// hive readers against the board now in the machine: the probe's status and the depot's
// verdict (or the one-line error).
#include "input/Hive.h"
#include "HiveBuilder.h"
#include "inspection/Depot.h"
#include "inspection/Inspection.h"
#include "report/Probe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

const std::string kWow = "WOW6432Node\\Vesk Computer Corporation\\SysInfo";
const std::string kNative = "Vesk Computer Corporation\\SysInfo";

// The registry copy of a board's table (an 8-byte header, then the table): its type-1 structure
// names the maker, its OEM strings carry system identifier `id` and regulatory identifier
// VCC-D7400.
Bytes Board(const std::string& id) {
    using namespace std::string_literals;
    const std::string table = "\1\x08\0\0\1\0\0\0Vesk Computer Corporation\0\0\x0b\5\1\0\2"s +
                              "1[" + id +
                              "]\0"
                              "13[VCC-D7400]\0\0\x7f\4\2\0\0\0"s;
    const std::string value = "\0\3\0\0"s + static_cast<char>(table.size()) + "\0\0\0"s + table;
    return Bytes(value.begin(), value.end());
}

HiveValue Sz(const std::string& key, const char* name, const std::u16string& text,
             bool terminator = false) {
    return {key, name, 1, Utf16Data(text, terminator)};
}

// A SOFTWARE hive's values under `key` (none where empty); the id of registry type `type`.
std::vector<HiveValue> Software(const std::string& key, const std::u16string& id = u"A47",
                                bool terminator = false, int type = 1) {
    std::vector<HiveValue> values = {{"Microsoft", "", 1, {}}};
    if (key.empty()) return values;
    values.push_back(Sz(key, "System Manufacturer", u"Vesk Computer Corporation", terminator));
    values.push_back(type != 1 ? HiveValue{key, "SystemIdHex", type, {0x47, 0x0A, 0, 0}}
                               : Sz(key, "SystemIdHex", id, terminator));
    values.push_back(Sz(key, "RegulatoryID", u"VCC-D7400", terminator));
    return values;
}

// A SYSTEM hive whose control set `current` holds the registry copy of board `last` (none where
// empty).
std::vector<HiveValue> System(int current = 1, const std::string& last = "A47") {
    const std::string set = "ControlSet00" + std::to_string(current);
    std::vector<HiveValue> values = {
        {"Select", "Current", 4, {static_cast<unsigned char>(current), 0, 0, 0}},
        Sz(set + "\\Control\\ComputerName\\ComputerName", "ComputerName", u"DEPOT-\u00c9", true)};
    if (!last.empty())
        values.push_back({set + "\\Services\\mssmbios\\Data", "SMBiosData", 3, Board(last)});
    return values;
}

enum class Damage { None, Truncate, Clobber };

struct DepotCase {
    const char* name;
    std::vector<HiveValue> software, system;
    std::string now;      // the identifier of the board now in the machine
    std::string expected; // status and verdict, or "error: " and part of the message
    std::string systemId; // the stored identifier's text, or part of its problem
    const char* config = "System32/config"; // the hives' folder below Windows/
    Damage damage = Damage::None;
    size_t at = 0; // Truncate: the length kept
};

// Cuts the file, or overwrites the signature of the SysInfo key's cell.
void Harm(const fs::path& file, Damage damage, size_t at) {
    std::ifstream in(file, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    in.close();
    if (damage == Damage::Truncate) bytes.resize(at);
    if (damage == Damage::Clobber) {
        const std::string name = "SysInfo";
        const auto cell = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
        ASSERT_NE(cell, bytes.end());
        *(cell - 0x4C) = 'x';
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class HiveTest : public ::testing::TestWithParam<DepotCase> {};

const char* const kVerdicts[] = {"now", "last-start", "neither", "not-now", "only-64-bit"};

std::string Audit(const fs::path& windows, const std::string& now, std::string& systemId,
                  std::string& machine) {
    CodePage codePage;
    WindowsHives hives;
    StoredValues stored;
    TableInput last;
    bool only64 = false;
    std::string error;
    if (!codePage.Open(1252, error) || !FindWindowsHives(windows.u8string(), hives, error) ||
        !ReadHiveStoredValues(hives.software, codePage, stored, only64, error) ||
        !ReadHiveTable(hives.system, last, error))
        return "error: " + error;
    const Bytes board = Board(now);
    const Inspection nowWalk = Inspect(board.data() + 8, board.size() - 8);
    const Inspection lastWalk =
        Inspect(last.Table(TableSource::Wmi), last.Length(TableSource::Wmi));
    const StoredValue& id = stored.ValueOf(IdentityField::SystemId);
    systemId = id.problem.empty() ? id.text : id.problem;
    machine = ReadHiveComputerName(hives.system);
    const DepotFindings depot = AuditDepot(stored, nowWalk, &lastWalk, TableSource::Wmi, only64);
    return std::string(ProbeStatusName(ProbeStatusOf(stored, nowWalk, only64))) + " " +
           kVerdicts[static_cast<int>(depot.verdict)];
}

TEST_P(HiveTest, Audits) {
    const DepotCase& c = GetParam();
    const fs::path root = fs::temp_directory_path() / ("hive-test-" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path config = root / "Windows" / c.config;
    fs::create_directories(config);
    std::string error;
    // Mounted NTFS keeps Windows' spelling, whatever it is.
    ASSERT_TRUE(WriteHive((config / "Software").string(), c.software, error)) << error;
    ASSERT_TRUE(WriteHive((config / "SYSTEM").string(), c.system, error)) << error;
    if (c.damage != Damage::None) Harm(config / "Software", c.damage, c.at);
    std::string systemId, machine;
    const std::string result = Audit(root / "Windows", c.now, systemId, machine);
    fs::remove_all(root);
    EXPECT_EQ(result.substr(0, c.expected.size()), c.expected) << result;
    if (result.rfind("error", 0) == 0) return;
    EXPECT_NE(systemId.find(c.systemId), std::string::npos) << systemId;
    EXPECT_EQ(machine, "DEPOT-\xc3\x89");
}

const DepotCase kCases[] = {
    {"Match64BitLayout", Software(kWow), System(), "A47", "match now", "A47"},
    {"Match32BitLayoutTerminated", Software(kNative, u"A47", true), System(2), "A47", "match now",
     "A47", "system32/CONFIG"},
    {"BoardSwapped", Software(kWow), System(), "B12", "differs last-start", "A47"},
    {"Neither", Software(kWow, u"C3"), System(), "B12", "differs neither", "C3"},
    {"Missing",
     {Software(kWow)[0], Software(kWow)[1], Software(kWow)[2]},
     System(),
     "A47",
     "missing neither",
     "A47"},
    {"NotRun", Software(""), System(), "A47", "not-run neither", ""},
    {"Only64BitView",
     [] {
         auto values = Software(kNative); // on 64-bit Windows: the 64-bit view
         values.push_back({"WOW6432Node\\Microsoft", "", 1, {}});
         return values;
     }(),
     System(), "A47", "only-64-bit only-64-bit", "A47"},
    {"NonAnsiCharacter", Software(kWow, u"A4\u4e03"), System(), "A47", "differs neither",
     "code page 1252 cannot represent"},
    {"Dword", Software(kWow, u"", false, 4), System(), "A47", "differs neither",
     "stored as a DWORD"},
    {"TypeNoRegistryNames", Software(kWow, u"", false, 0x01000001), System(), "A47",
     "differs neither", "stored as registry type 16777217"},
    {"NoConfigFolder", Software(kWow), System(), "A47", "error: no System32/config", "",
     "System32"},
    {"TruncatedBaseBlock", Software(kWow), System(), "A47",
     "error: truncated registry hive: shorter than its 4 KiB", "", "System32/config",
     Damage::Truncate, 1000},
    {"TruncatedData", Software(kWow), System(), "A47",
     "error: truncated registry hive: its base block names", "", "System32/config",
     Damage::Truncate, 6000},
    {"CorruptCell", Software(kWow), System(), "A47",
     "error: damaged registry hive: a corrupt cell where key SysInfo", "", "System32/config",
     Damage::Clobber},
    {"SystemHiveAsSoftware", System(), System(), "A47", "error: a SYSTEM hive, not the SOFTWARE",
     ""},
    {"SoftwareHiveAsSystem", Software(kWow), Software(kWow), "A47",
     "error: a SOFTWARE hive, not the SYSTEM hive", ""},
    {"NoRegistryCopy", Software(kWow), System(1, ""), "A47",
     "error: no \"SMBiosData\" value in ControlSet001\\Services\\mssmbios\\Data", ""},
};

INSTANTIATE_TEST_SUITE_P(Depot, HiveTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DepotCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
