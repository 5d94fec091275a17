// An installed Windows read from its hive files, as at the service depot: a Windows folder with
// System32/config/SOFTWARE and SYSTEM built here, each case audited from the folder through the
// hive readers against the board now in the machine: the probe's status and the depot's
// verdict (or the one-line error); then the boards of HardwareConfig against the table now.
#include "input/Hive.h"
#include "HiveBuilder.h"
#include "inspection/Depot.h"
#include "inspection/Inspection.h"
#include "report/DepotReport.h"
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

// The depot's audit of the folder against `now`, the walk of `table` (the bytes walked): the
// findings, or false with the error.
bool AuditFolder(const fs::path& windows, const Inspection& now, const Bytes& table,
                 StoredValues& stored, SystemHive& system, DepotFindings& depot,
                 std::string& error) {
    static CodePage codePage;
    WindowsHives hives;
    DepotInput input;
    HiveRecovery software;
    if (!codePage.Open(1252, error) || !FindWindowsHives(windows.u8string(), hives, error) ||
        !ReadHiveStoredValues(hives.software, codePage, stored, input.only64, software, error) ||
        !ReadSystemHive(hives.system, system, error))
        return false;
    const std::optional<Inspection> copy =
        system.hasTable ? std::optional(Inspect(system.table.Table(TableSource::Wmi),
                                                system.table.Length(TableSource::Wmi)))
                        : std::nullopt;
    input.stored = &stored;
    input.now = &now;
    input.table = table.data();
    input.length = table.size();
    input.system = &system;
    input.registryCopy = copy ? &*copy : nullptr;
    input.codePage = &codePage;
    depot = AuditDepot(input);
    return true;
}

std::string Audit(const fs::path& windows, const std::string& now, std::string& systemId,
                  std::string& machine) {
    const Bytes board = Board(now), table(board.begin() + 8, board.end());
    const Inspection walk = Inspect(table);
    StoredValues stored;
    SystemHive system;
    DepotFindings depot;
    std::string error;
    if (!AuditFolder(windows, walk, table, stored, system, depot, error)) return "error: " + error;
    const StoredValue& id = stored.ValueOf(IdentityField::SystemId);
    systemId = id.problem.empty() ? id.text : id.problem;
    machine = system.computerName;
    const bool only64 = depot.verdict == DepotVerdict::Only64;
    return std::string(ProbeStatusName(ProbeStatusOf(stored, walk, only64))) + " " +
           DepotVerdictText(depot);
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
    {"Match64BitLayout", Software(kWow), System(), "A47",
     "match the installation carries this board", "A47"},
    {"Match32BitLayoutTerminated", Software(kNative, u"A47", true), System(2), "A47",
     "match the installation carries this board", "A47", "system32/CONFIG"},
    {"BoardSwapped", Software(kWow), System(), "B12",
     "differs the installation carries the identity of the board it last", "A47"},
    {"Neither", Software(kWow, u"C3"), System(), "B12",
     "differs the installation carries the identity of neither", "C3"},
    {"Missing",
     {Software(kWow)[0], Software(kWow)[1], Software(kWow)[2]},
     System(),
     "A47",
     "missing the installation carries the identity of neither",
     "A47"},
    {"NotRun", Software(""), System(), "A47",
     "not-run the installation carries the identity of neither", ""},
    {"Only64BitView",
     [] {
         auto values = Software(kNative); // on 64-bit Windows: the 64-bit view
         values.push_back({"WOW6432Node\\Microsoft", "", 1, {}});
         return values;
     }(),
     System(), "A47", "only-64-bit the installation carries no identity where", "A47"},
    {"NonAnsiCharacter", Software(kWow, u"A4\u4e03"), System(), "A47",
     "differs the installation carries the identity of neither", "code page 1252 cannot represent"},
    {"Dword", Software(kWow, u"", false, 4), System(), "A47",
     "differs the installation carries the identity of neither", "stored as a DWORD"},
    {"TypeNoRegistryNames", Software(kWow, u"", false, 0x01000001), System(), "A47",
     "differs the installation carries the identity of neither",
     "stored as registry type 16777217"},
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
    {"NoRegistryCopyNorBoards", Software(kWow), System(1, ""), "B12",
     "differs the installation does not carry the identity of the board now in the machine (no "
     "board record: its SYSTEM hive has no HardwareConfig key",
     "A47"},
};

INSTANTIATE_TEST_SUITE_P(Depot, HiveTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DepotCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace

namespace {

// The table now: a type-1 structure of Vesk Desk 7400 holding `uuid`, OEM strings of A47.
Bytes TableWithUuid(const Bytes& uuid) {
    using namespace std::string_literals;
    const std::string table = "\1\x19\1\0\1\2\0\0"s + std::string(uuid.begin(), uuid.end()) +
                              "\6Vesk Computer Corporation\0Vesk Desk 7400\0\0"
                              "\x0b\5\2\0\2"
                              "1[A47]\0"
                              "13[VCC-D7400]\0\0\x7f\4\3\0\0\0"s;
    return Bytes(table.begin(), table.end());
}

// As a table stores it: dmidecode prints 564D1925-EFCA-3787-... for SMBIOS 2.4, Windows names
// the board {25194d56-caef-8737-...} whatever the version.
const Bytes kHereBytes = {0x56, 0x4D, 0x19, 0x25, 0xEF, 0xCA, 0x37, 0x87,
                          0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
const std::string kHere = "{25194d56-caef-8737-1234-56789abcdef0}";
const std::string kThere = "{8a1f0c22-4b3d-4e5f-9a6b-7c8d9e0f1a2b}";
const std::string kOld = "{4c4c4544-0042-3510-8052-b3c04f4b4d31}";

// A board's subkey as Windows 10 writes it, or as older ones left it (only SystemBiosVersion).
void AddBoard(std::vector<HiveValue>& values, const std::string& uuid,
              const std::u16string& product, uint64_t lastUse, bool older = false) {
    const std::string key = "HardwareConfig\\" + uuid;
    const std::u16string versions(u"VESK - 1072009\0"
                                  u"1.5.0\0",
                                  22);
    if (older) values.push_back({key, "SystemBiosVersion", 7, Utf16Data(versions, true)});
    // clang-format off
    const std::u16string texts[] = {u"Vesk Computer Corporation", product, u"Vesk Desk", u"VD-EU",
                                    u"Rev A02", u"Vesk", u"2.4.1", u"01/05/2026"};
    // clang-format on
    for (int i = 0; i < kBoardTexts && !older; ++i)
        values.push_back(Sz(key, BoardTextName(static_cast<BoardText>(i)), texts[i], true));
    values.push_back({key, "LastUse", 3, FileTimeData(lastUse)});
}

// 2026-12-01T08:15:00Z, 2026-11-02T10:00:00Z, 2019-03-04T05:06:07Z.
constexpr uint64_t kDecember = 134405865000000000, kNovember = 134380872000000000,
                   kMarch2019 = 131961495670000000;

std::vector<HiveValue> Hardware(const std::string& last) {
    std::vector<HiveValue> values = System(1, "");
    values.push_back(
        Sz("HardwareConfig", "LastConfig", std::u16string(last.begin(), last.end()), true));
    AddBoard(values, kOld, u"", kMarch2019, true);
    AddBoard(values, kThere, u"Vesk Desk 7600", kNovember);
    AddBoard(values, kHere, u"Vesk Desk 7400", kDecember);
    return values;
}

struct BoardCase {
    const char* name;
    std::vector<HiveValue> system;
    Bytes uuidNow;
    std::u16string storedId;
    std::string verdict; // code: and the part of the line that matters
    std::string boards;  // each board newest first: the GUID's first 8 digits, * for this board
    std::string json;    // part of the "depot" object
};

class BoardTest : public ::testing::TestWithParam<BoardCase> {};

TEST_P(BoardTest, Verdicts) {
    const BoardCase& c = GetParam();
    const fs::path root = fs::temp_directory_path() / ("board-test-" + std::to_string(getpid()));
    const fs::path config = root / "Windows" / "System32" / "config";
    fs::create_directories(config);
    std::string error;
    ASSERT_TRUE(WriteHive((config / "SOFTWARE").string(), Software(kWow, c.storedId), error));
    ASSERT_TRUE(WriteHive((config / "SYSTEM").string(), c.system, error)) << error;
    const Bytes table = TableWithUuid(c.uuidNow);
    const Inspection now = Inspect(table);
    StoredValues stored;
    SystemHive system;
    DepotFindings depot;
    const bool read = AuditFolder(root / "Windows", now, table, stored, system, depot, error);
    fs::remove_all(root);
    ASSERT_TRUE(read) << error;
    const std::string verdict =
        std::string(DepotVerdictCode(depot.verdict)) + ": " + DepotVerdictText(depot);
    EXPECT_NE(verdict.find(c.verdict), std::string::npos) << verdict;
    std::string boards;
    for (const DepotBoard& board : depot.boards)
        boards += (boards.empty() ? "" : " ") + GuidText(board.board.uuid).substr(0, 8) +
                  (board.thisBoard ? "*" : "");
    EXPECT_EQ(boards, c.boards);
    const std::string json = DepotJson(depot).dump();
    EXPECT_NE(json.find(c.json), std::string::npos) << json;
}

const Bytes kNoUuid(16, 0xFF), kTextOrder = {0x25, 0x19, 0x4D, 0x56, 0xCA, 0xEF, 0x87, 0x37,
                                             0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};

const BoardCase kBoards[] = {
    {"LastStartHereStoredHere", Hardware(kHere), kHereBytes, u"A47",
     "match: the installation carries this board's identity", "25194D56* 8A1F0C22 4C4C4544",
     R"("bios_version":"VESK - 1072009; 1.5.0","last_use":"2019-03-04T05:06:07Z",)"
     R"("this_board":false)"},
    {"LastStartHereStoredOther", Hardware(kHere), kHereBytes, u"B12",
     "run-veskinfo: Windows has started on this board (last use 2026-12-01T08:15:00Z) but",
     "25194D56* 8A1F0C22 4C4C4544",
     R"("last_board":{"uuid":"25194D56-CAEF-8737-1234-56789ABCDEF0","manufacturer":"Vesk )"
     R"(Computer Corporation","product":"Vesk Desk 7400","bios_version":"2.4.1")"},
    {"LastStartElsewhere", Hardware(kThere), kHereBytes, u"A47",
     "other-board: the installation last started on Vesk Computer Corporation Vesk Desk 7600 "
     "(UUID 8A1F0C22-4B3D-4E5F-9A6B-7C8D9E0F1A2B, last use 2026-11-02T10:00:00Z), not on this "
     "board; it has not started here yet, and the stored manufacturer is that board's",
     "25194D56* 8A1F0C22 4C4C4544", R"("verdict":"other-board")"},
    // The GUID's digits in the order of its text are not the bytes a table stores.
    {"UuidBytesInTextOrder", Hardware(kHere), kTextOrder, u"A47",
     "other-board: the installation last started on Vesk Computer Corporation Vesk Desk 7400",
     "25194D56 8A1F0C22 4C4C4544", R"("this_board":false)"},
    {"NoHardwareConfig", System(1, ""), kHereBytes, u"B12",
     "differs: the installation does not carry the identity of the board now in the machine (no "
     "board record: its SYSTEM hive has no HardwareConfig key",
     "", R"("last_board":null,"boards":[])"},
    {"NoUuidNow", Hardware(kHere), kNoUuid, u"B12",
     "differs: the installation does not carry the identity of the board now in the machine (no "
     "board record: the table now has no UUID to compare with)",
     "25194D56 8A1F0C22 4C4C4544",
     R"("last_board":{"uuid":"25194D56-CAEF-8737-1234-56789ABCDEF0")"},
};

INSTANTIATE_TEST_SUITE_P(HardwareConfig, BoardTest, ::testing::ValuesIn(kBoards),
                         [](const ::testing::TestParamInfo<BoardCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
