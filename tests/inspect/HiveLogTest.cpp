// Dirty hives recovered from their transaction logs: Marvin32 against published values, then
// one table of hives left dirty as Windows leaves them, each with its logs beside it, read
// through the depot's reader: the stored value hivex then reads, the hive's line in the depot's
// view, and the files left as they were.
#include "HiveBuilder.h"
#include "HiveLogWriter.h"
#include "input/Hive.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(Marvin32, PublishedValues) {
    // The published test vectors of the algorithm, seed 0x004FB61A001BDBCC: every length of a
    // last partial word, and a whole one.
    const std::pair<const char*, uint64_t> vectors[] = {{"", 0x30ED35C100CD3C7D},
                                                        {"af", 0x48E73FC77D75DDC1},
                                                        {"e70f", 0xB5F6E1FC485DBFF8},
                                                        {"37f495", 0xF0B07C789B8CF7E8},
                                                        {"8642dc59", 0x7008F2E87E9CF556},
                                                        {"153fb79826", 0xE6C08C6DA2AFA997},
                                                        {"0932e6246c47", 0x6F04BF1A5EA24060},
                                                        {"ab427ea8d10fc7", 0xE11847E4F0678C41}};
    for (const auto& [hex, hash] : vectors) {
        Bytes data;
        for (size_t i = 0; hex[i] != 0; i += 2)
            data.push_back(
                static_cast<unsigned char>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
        EXPECT_EQ(Marvin32(data.data(), data.size(), 0x004FB61A001BDBCC), hash) << hex;
    }
}

const std::string kKey = "WOW6432Node\\Vesk Computer Corporation\\SysInfo";

// The states of a SOFTWARE hive: 0 before VeskInfo ran, 1 after (A47), 2 after a second run
// (B12); 3 another change from state 0 (C3), which a stale log holds.
std::vector<Bytes> States(const fs::path& folder) {
    const std::string path = (folder / "state").string();
    const auto set = [&](const std::u16string& id) {
        return std::vector<HiveValue>{{kKey, "SystemIdHex", 1, Utf16Data(id, false)}};
    };
    std::string error;
    std::vector<Bytes> states;
    EXPECT_TRUE(WriteHive(path, {{"Microsoft\\Windows", "", 1, {}}}, error)) << error;
    states.push_back(LoadFile(path));
    EXPECT_TRUE(
        AddToHive(path, {{kKey, "System Manufacturer", 1, Utf16Data(u"Vesk", false)}}, error));
    EXPECT_TRUE(AddToHive(path, set(u"A47"), error));
    states.push_back(LoadFile(path));
    EXPECT_TRUE(AddToHive(path, set(u"B12"), error));
    states.push_back(LoadFile(path));
    SaveFile(path, states[0]);
    EXPECT_TRUE(AddToHive(path, set(u"C3"), error));
    states.push_back(LoadFile(path));
    fs::remove(path);
    return states;
}

// A log beside the hive: new format through `states` (their indices) from `sequence`, or old
// format from states[0] to states[.back()] written at `sequence`; `harm` changes one byte of
// the entry of that index (-1: of the base block).
struct Log {
    const char* name;
    bool old;
    std::vector<int> states;
    uint32_t sequence;
    int harm = -2;
};

Log New(const char* name, std::vector<int> states, uint32_t sequence, int harm = -2) {
    return {name, false, std::move(states), sequence, harm};
}
Log Old(const char* name, std::vector<int> states, uint32_t time) {
    return {name, true, std::move(states), time};
}

Bytes Write(const Log& log, const std::vector<Bytes>& all) {
    std::vector<Bytes> states;
    for (const int i : log.states)
        states.push_back(all[static_cast<size_t>(i)]);
    Bytes bytes = log.old ? OldFormatLog(states.front(), states.back(), log.sequence)
                          : NewFormatLog(states, log.sequence);
    size_t at = 512; // the entry to harm
    for (int i = 0; i < log.harm; ++i)
        at += bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16;
    if (log.harm > -2) bytes[log.harm < 0 ? 100 : at + 600] ^= 1;
    return bytes;
}

struct DirtyCase {
    const char* name;
    uint32_t primary, secondary; // the hive's sequence numbers (both equal: clean)
    std::vector<Log> logs;
    std::string systemId; // what hivex then reads
    std::string said;     // the hive's line in the depot's view
    bool harmPrimary = false;
};

class DirtyHiveTest : public ::testing::TestWithParam<DirtyCase> {};

TEST_P(DirtyHiveTest, RecoversAsWindowsDoes) {
    const DirtyCase& c = GetParam();
    const fs::path folder = fs::temp_directory_path() / ("dirty-hive-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::vector<Bytes> states = States(folder);
    Bytes primary = DirtyHive(states[0], c.primary, c.secondary);
    if (c.harmPrimary) primary[100] ^= 1;
    std::vector<fs::path> files = {folder / "SOFTWARE"};
    SaveFile(files[0].string(), primary);
    for (const Log& log : c.logs) {
        files.push_back(folder / log.name);
        SaveFile(files.back().string(), Write(log, states));
    }
    std::vector<std::pair<Bytes, fs::file_time_type>> before;
    for (const fs::path& file : files)
        before.push_back({LoadFile(file.string()), fs::last_write_time(file)});
    CodePage codePage;
    StoredValues stored;
    HiveRecovery recovery;
    bool only64 = false;
    std::string error;
    ASSERT_TRUE(codePage.Open(1252, error));
    const bool read =
        ReadHiveStoredValues(files[0].string(), codePage, stored, only64, recovery, error);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(LoadFile(files[i].string()), before[i].first) << files[i];
        EXPECT_EQ(fs::last_write_time(files[i]), before[i].second) << files[i];
    }
    fs::remove_all(folder);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(stored.ValueOf(IdentityField::SystemId).text, c.systemId);
    EXPECT_EQ(HiveRecoveryText(recovery), c.said);
}

const char kLog1[] = "SOFTWARE.LOG1", kLog2[] = "SOFTWARE.LOG2", kLog[] = "SOFTWARE.LOG";
const std::string kFrom = "recovered: 2 log entries applied from ";

// clang-format off
const DirtyCase kDirty[] = {
    {"Log1Alone", 11, 10, {New(kLog1, {0, 1, 2}, 10)}, "B12",
     kFrom + "SOFTWARE.LOG1, up to sequence 11"},
    {"Log2Alone", 11, 10, {New(kLog2, {0, 1, 2}, 10)}, "B12",
     kFrom + "SOFTWARE.LOG2, up to sequence 11"},
    {"BothInOrder", 12, 10, {New(kLog1, {0, 1}, 10), New(kLog2, {1, 2}, 11)}, "B12",
     kFrom + "SOFTWARE.LOG1, SOFTWARE.LOG2, up to sequence 11"},
    {"BothInOrderAcrossTheWrap", 1, 0xFFFFFFFF,
     {New(kLog1, {1, 2}, 0), New(kLog2, {0, 1}, 0xFFFFFFFF)}, "B12",
     kFrom + "SOFTWARE.LOG2, SOFTWARE.LOG1, up to sequence 0"},
    {"StaleLog1Skipped", 12, 10, {New(kLog1, {0, 3}, 5), New(kLog2, {0, 1, 2}, 10)}, "B12",
     kFrom + "SOFTWARE.LOG2, up to sequence 11"},
    {"BadHashInTheMiddle", 12, 10, {New(kLog1, {0, 1, 2}, 10, 1)}, "A47",
     "recovered: 1 log entry applied from SOFTWARE.LOG1, up to sequence 10; SOFTWARE.LOG1 ends "
     "at an entry whose hash does not match (sequence 11); 1 entry applied before it"},
    {"DamagedLogBaseBlock", 12, 10, {New(kLog1, {0, 1}, 10), New(kLog2, {1, 2}, 11, -1)}, "A47",
     "recovered: 1 log entry applied from SOFTWARE.LOG1, up to sequence 10; SOFTWARE.LOG2: its "
     "base block is damaged (wrong checksum)"},
    // The base block is taken from the later log, which alone is applied.
    {"DamagedPrimaryBaseBlock", 12, 10, {New(kLog1, {0, 1}, 10), New(kLog2, {0, 1, 2}, 12)},
     "B12", kFrom + "SOFTWARE.LOG2, up to sequence 13", true},
    {"LogsNamedInLowerCase", 11, 10, {New("software.log1", {0, 1, 2}, 10)}, "B12",
     kFrom + "software.log1, up to sequence 11"},
    {"NoLogs", 11, 10, {}, "", "dirty (sequence 11 against 10) and no SOFTWARE.LOG1 or "
     "SOFTWARE.LOG2 beside it: read as it is, so its values may be older than Windows' own"},
    // The old format: of the logs, the one whose base block was written last.
    {"OldFormatLastWritten", 11, 10,
     {Old(kLog1, {0, 1}, 200), Old(kLog2, {0, 2}, 300), Old(kLog, {0, 3}, 100)}, "B12",
     "recovered: 26 sectors from SOFTWARE.LOG2"},
    // A clean hive is read as it is, whatever its logs hold.
    {"CleanWithLogs", 10, 10, {New(kLog1, {0, 1}, 10)}, "", "clean"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Logs, DirtyHiveTest, ::testing::ValuesIn(kDirty),
                         [](const ::testing::TestParamInfo<DirtyCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
