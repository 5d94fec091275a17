// The report's counting and showing: one record per machine (which records are one machine,
// which is kept), what is flagged, how a machine's text is shown, and the time stamps read.
#include "report/FleetReport.h"
#include "report/FleetShow.h"

#include <gtest/gtest.h>

namespace {

struct Line {
    const char* uuid;
    const char* serial;
    const char* product;
    const char* device; // the export's name
    const char* machine;
    std::optional<long long> updated;
    ProbeStatus status;
};

ProbeRecord Record(const Line& line) {
    ProbeRecord record;
    if (line.uuid) record.uuid = line.uuid;
    if (line.serial) record.serial = line.serial;
    record.manufacturer = "Vesk";
    record.product = line.product;
    record.device = line.device;
    record.machine = line.machine;
    record.updated = line.updated;
    record.status = line.status;
    return record;
}

constexpr auto kMatch = ProbeStatus::Match;
constexpr auto kDiffers = ProbeStatus::Differs;
constexpr auto kError = ProbeStatus::Error;

struct MergeCase {
    const char* what;
    std::vector<Line> lines;
    std::vector<std::string> kept; // name=status of each machine kept, in the order first read
    size_t repeated;
};

const MergeCase kMergeCases[] = {
    {"one UUID under three names (in either case): the newest by time stamp, read first",
     {{"4C4C-AA", nullptr, "D1", "PC-1", "PC-1", 300, kMatch},
      {"4c4c-aa", nullptr, "D1", "PC-1-NEW", "PC-1", 100, kDiffers},
      {"4C4C-AA", nullptr, "D1", "", "PC-1", std::nullopt, kError}},
     {"PC-1=error"},
     1},
    {"one UUID with two serial numbers: one machine, the UUID names it",
     {{"U1", "S1", "D1", "A", "A", std::nullopt, kMatch},
      {"U1", "S2", "D1", "B", "B", std::nullopt, kMatch},
      {"U1", "S1", "D1", "C", "C", std::nullopt, kDiffers}},
     {"C=differs"},
     1},
    {"time stamps on both: the older read last is not kept",
     {{"U1", nullptr, "D1", "PC-1", "", 300, kMatch},
      {"U1", nullptr, "D1", "PC-1", "", 100, kDiffers}},
     {"PC-1=match"},
     1},
    {"a serial number with its model; a placeholder serial is no identity",
     {{nullptr, "S1", "D1", "A", "A", std::nullopt, kDiffers},
      {nullptr, "S1", "D1", "B", "B", std::nullopt, kMatch},
      {nullptr, "S1", "D2", "C", "C", std::nullopt, kMatch},
      {nullptr, "To Be Filled By O.E.M.", "D1", "D", "D", std::nullopt, kMatch},
      {nullptr, "To Be Filled By O.E.M.", "D1", "E", "E", std::nullopt, kMatch}},
     {"B=match", "C=match", "D=match", "E=match"},
     1},
    {"without a unit: the device-management name, else the probe's; no name: each its own",
     {{nullptr, nullptr, "D1", "PC-1", "DESKTOP-9", std::nullopt, kDiffers},
      {nullptr, nullptr, "D1", "", "PC-1", std::nullopt, kMatch},
      {nullptr, nullptr, "D1", "", "", std::nullopt, kMatch},
      {nullptr, nullptr, "D1", "", "", std::nullopt, kMatch}},
     {"PC-1=match", "=match", "=match"},
     1},
};

TEST(FleetReport, OneRecordPerMachine) {
    for (const MergeCase& c : kMergeCases) {
        SCOPED_TRACE(c.what);
        FleetTally tally;
        for (const Line& line : c.lines)
            tally.Machine(Record(line));
        tally.Finish();
        std::vector<std::string> kept;
        for (const MachineEntry& entry : tally.kept)
            kept.push_back(ShownName(entry.record) + "=" + ProbeStatusName(entry.record.status));
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(tally.repeated, c.repeated);
        EXPECT_EQ(tally.machines, c.kept.size());
        EXPECT_EQ(tally.records, c.lines.size());
    }
}

TEST(FleetReport, FlagsFallbacksWhetherOrNotTheModelWasRead) {
    struct Case {
        const char* product;                                  // "" for a model not read
        std::vector<std::pair<const char*, const char*>> ids; // system, regulatory
        bool flagged;
    } cases[] = {
        {"", {{"0", "R1"}}, true},
        {"", {{"A1", "00000"}}, true},
        {"", {{"A1", "R1"}, {"B2", "R2"}}, false}, // machines of several models
        {"D1", {{"A1", "R1"}, {"A1", "R2"}}, true},
        {"D1", {{"A1", "R1"}, {"A1", "R1"}}, false},
    };
    for (const Case& c : cases) {
        FleetTally tally;
        for (const auto& [system, regulatory] : c.ids) {
            ProbeRecord record;
            record.product = c.product;
            record.expected[kProbeSystemId] = system;
            record.expected[kProbeRegulatoryId] = regulatory;
            tally.Machine(std::move(record));
        }
        tally.Finish();
        EXPECT_EQ(tally.FlaggedModels().size(), c.flagged ? 1u : 0u)
            << c.product << " " << c.ids[0].first;
    }
}

TEST(FleetReport, ShowsWhatCouldPassForOtherText) {
    struct Case {
        std::string text;
        Shown kind;
        std::string shown;
    } cases[] = {
        {"A47 ", Shown::Identifier, "A47{U+0020}"},
        {"  A 47", Shown::Text, "{U+0020}{U+0020}A 47"},
        {u8"A\u2011B", Shown::Identifier, "A{U+2011}B"},
        {u8"A\u2011B", Shown::Text, u8"A\u2011B"},
        {u8"PC\u202Eexe.txt", Shown::Text, "PC{U+202E}exe.txt"},
        {u8"M\u00FCller\t\x7F", Shown::Text, u8"M\u00FCller{U+0009}{U+007F}"},
        {u8"M\u00FCller", Shown::Identifier, "M{U+00FC}ller"},
        {"{U+0020}\xFF\xC3", Shown::Identifier, "{U+007B}U+0020}{0xFF}{0xC3}"},
        {" ", Shown::Identifier, "{U+0020}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShowText(c.text, c.kind), c.shown) << c.text;
}

TEST(FleetInput, ReadsTimeStamps) {
    const std::pair<const char*, std::optional<long long>> cases[] = {
        {"2026-12-09T08:15:00Z", 1796804100},        {"2026-12-09T08:15:00.1234567Z", 1796804100},
        {"2026-12-09T09:15:00+01:00", 1796804100},   {"2026-12-09 08:15", 1796804100},
        {"12/9/2026 8:15:00 AM", 1796804100},        {"12/9/2026 12:15:00 AM", 1796775300},
        {"2026-13-09T08:15:00Z", std::nullopt},      {"12/9/2026 13:15:00 PM", std::nullopt},
        {"2026-12-09T08:15:00Z junk", std::nullopt},
    };
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(ParseTimeStamp(text), seconds) << text;
}

} // namespace
