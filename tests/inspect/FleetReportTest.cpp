// The report's counting and showing: one record per device (which records are one device, which
// is kept, which UUIDs are shared), what is flagged, and how a machine's text is shown.
#include "report/FleetReport.h"
#include "report/FleetShow.h"

#include <gtest/gtest.h>

namespace {

struct Line {
    const char* deviceId;
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
    record.deviceId = line.deviceId ? line.deviceId : "";
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
constexpr auto kNoOutput = ProbeStatus::NoOutput;
constexpr auto kNone = std::nullopt;
const char kPlaceholder[] = "03000200-0400-0500-0006-000700080009";
const char kRepeated[] = "11111111-1111-1111-1111-111111111111";

struct JoinCase {
    const char* what;
    std::vector<Line> lines;
    std::vector<std::string> kept; // name=status of each device, in the order first read
    std::string joined;            // devices joined by device id, UUID, serial number, name
    std::string shared;            // UUID: devices behind it (why); ...
};

const JoinCase kJoinCases[] = {
    {"one UUID under three names (in either case): the newest by time, read first; the untimed "
     "record read after the timed one replaces neither",
     {{nullptr, "4C4C-AA", nullptr, "D1", "PC-1", "PC-1", 300, kMatch},
      {nullptr, "4c4c-aa", nullptr, "D1", "PC-1-NEW", "PC-1", 100, kDiffers},
      {nullptr, "4C4C-AA", nullptr, "D1", "", "PC-1", kNone, kError}},
     {"PC-1=match"},
     "0 1 0 0",
     ""},
    {"the two machines behind one placeholder UUID",
     {{nullptr, kPlaceholder, "S1", "D1", "", "PC-1", kNone, kDiffers},
      {nullptr, kPlaceholder, "S2", "D1", "", "PC-2", kNone, kMatch}},
     {"PC-1=differs", "PC-2=match"},
     "0 0 0 0",
     "03000200-0400-0500-0006-000700080009: 2 (a firmware placeholder)"},
    {"one UUID with two serial numbers (a cloned image): told apart by serial number",
     {{nullptr, "U1", "S1", "D1", "A", "A", kNone, kMatch},
      {nullptr, "U1", "S2", "D1", "B", "B", kNone, kMatch},
      {nullptr, "U1", "S1", "D1", "C", "C", kNone, kDiffers}},
     {"C=differs", "B=match"},
     "0 0 1 0",
     "U1: 2 (seen with 2 serial numbers)"},
    {"one UUID with two device ids; one of a repeated byte",
     {{"D1", "U5", nullptr, "D1", "PC-1", "PC-1", kNone, kMatch},
      {"D2", "U5", nullptr, "D1", "PC-2", "PC-2", kNone, kMatch},
      {nullptr, kRepeated, "S7", "D1", "", "X", kNone, kMatch},
      {nullptr, kRepeated, "S8", "D1", "", "Y", kNone, kMatch}},
     {"PC-1=match", "PC-2=match", "X=match", "Y=match"},
     "0 0 0 0",
     "11111111-1111-1111-1111-111111111111: 2 (all its bytes equal); U5: 2 (seen with 2 device "
     "ids)"},
    {"the name-keyed error, then the UUID-keyed match: one machine",
     {{nullptr, nullptr, nullptr, "", "", "PC-1", kNone, kError},
      {nullptr, "U1", "SN-1", "D1", "", "pc-1", kNone, kMatch}},
     {"pc-1=match"},
     "0 0 0 1",
     ""},
    {"a Graph run with a device id and a UUID joins the probe lines and a run without output",
     {{"D1", "U1", nullptr, "D1", "PC-1", "PC-1", 300, kMatch},
      {nullptr, "U1", nullptr, "D1", "", "PC-1", kNone, kDiffers},
      {"d1", nullptr, nullptr, "", "PC-1", "", 100, kNoOutput}},
     {"PC-1=match"},
     "1 1 0 0",
     ""},
    {"a name that two machines carry joins neither",
     {{nullptr, "U1", nullptr, "D1", "", "PC-9", kNone, kMatch},
      {nullptr, "U2", nullptr, "D1", "", "PC-9", kNone, kMatch},
      {nullptr, nullptr, nullptr, "", "", "PC-9", kNone, kError}},
     {"PC-9=match", "PC-9=match", "PC-9=error"},
     "0 0 0 0",
     ""},
    {"times on both: the older, read last, is not kept",
     {{nullptr, "U1", nullptr, "D1", "PC-1", "", 300, kMatch},
      {nullptr, "U1", nullptr, "D1", "PC-1", "", 100, kDiffers}},
     {"PC-1=match"},
     "0 1 0 0",
     ""},
    {"a serial number with its model; a placeholder serial is no identity",
     {{nullptr, nullptr, "S1", "D1", "A", "A", kNone, kDiffers},
      {nullptr, nullptr, "S1", "D1", "B", "B", kNone, kMatch},
      {nullptr, nullptr, "S1", "D2", "C", "C", kNone, kMatch},
      {nullptr, nullptr, "To Be Filled By O.E.M.", "D1", "D", "D", kNone, kMatch},
      {nullptr, nullptr, "To Be Filled By O.E.M.", "D1", "E", "E", kNone, kMatch}},
     {"B=match", "C=match", "D=match", "E=match"},
     "0 0 1 0",
     ""},
    {"without a unit: the device-management name, else the probe's; no name: each its own",
     {{nullptr, nullptr, nullptr, "D1", "PC-1", "DESKTOP-9", kNone, kDiffers},
      {nullptr, nullptr, nullptr, "D1", "", "PC-1", kNone, kMatch},
      {nullptr, nullptr, nullptr, "D1", "", "", kNone, kMatch},
      {nullptr, nullptr, nullptr, "D1", "", "", kNone, kMatch}},
     {"PC-1=match", "=match", "=match"},
     "0 0 0 1",
     ""},
};

TEST(FleetReport, OneRecordPerDevice) {
    for (const JoinCase& c : kJoinCases) {
        SCOPED_TRACE(c.what);
        FleetTally tally;
        for (const Line& line : c.lines)
            tally.Machine(Record(line));
        tally.Finish();
        std::vector<std::string> kept;
        for (const Device& device : tally.devices)
            kept.push_back(std::string(ShownName(tally.Record(device))) + "=" +
                           ProbeStatusName(tally.Record(device).status));
        EXPECT_EQ(kept, c.kept);
        std::string joined, shared;
        for (const size_t count : tally.joinedBy)
            joined += (joined.empty() ? "" : " ") + std::to_string(count);
        for (const SharedUuid& uuid : tally.sharedUuids)
            shared += (shared.empty() ? "" : "; ") + uuid.uuid + ": " +
                      std::to_string(uuid.devices) + " (" + uuid.why + ")";
        EXPECT_EQ(joined, c.joined);
        EXPECT_EQ(shared, c.shared);
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

} // namespace
