// What the walk and the finalisation tell an observer: the structures and strings in walk
// order, where each candidate and value came from, and each irregularity with its place.
#include "TableBuilder.h"

#include "smbios/SystemIdentity.h"
#include "smbios/WalkObserver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Writes every event as one line of text, in the order it arrives.
class Recorder : public WalkObserver {
  public:
    std::vector<std::string> events;

    void OnStructure(int offset, int type, int length, int handle) override {
        Add("structure @" + std::to_string(offset) + " type " + std::to_string(type) + " length " +
            std::to_string(length) + " handle " + std::to_string(handle));
    }
    void OnString(int offset, int number, const char* text) override {
        Add("string @" + std::to_string(offset) + " #" + std::to_string(number) + " " + text);
    }
    void OnCandidate(ValueSource source, int offset, int number, const char* text) override {
        Add(std::string("candidate ") + ValueSourceName(source) + " @" + std::to_string(offset) +
            " #" + std::to_string(number) + " " + text);
    }
    void OnAnomaly(WalkAnomaly anomaly, int offset, int number) override {
        Add(std::string("anomaly ") + WalkAnomalyName(anomaly) + " @" + std::to_string(offset) +
            " #" + std::to_string(number));
    }
    void OnValue(IdentityField field, ValueSource source, const char* text) override {
        Add("value " + std::to_string(static_cast<int>(field)) + " " + ValueSourceName(source) +
            " " + text);
    }

  private:
    void Add(std::string event) { events.push_back(std::move(event)); }
};

struct Observed {
    int result;
    std::vector<std::string> events;
};

Observed Observe(const std::vector<BYTE>& table) {
    Recorder recorder;
    IdentityCandidates candidates = {};
    const int result =
        WalkSMBiosTable(table.data(), static_cast<int>(table.size()), candidates, &recorder);
    SystemIdentity identity;
    FinaliseIdentity(candidates, identity, &recorder);
    return {result, recorder.events};
}

TEST(WalkObserverTest, FollowsTheWorkedTableInWalkOrder) {
    const std::vector<BYTE> table =
        TableBuilder()
            .Add({0x01, 0x08, 0x00, 0x01, 0x01, 0x02, 0x03, 0x04}, {"Acme", "Box", "1.0", "SN1"})
            .Add({0x0B, 0x05, 0x01, 0x00, 0x02}, {"1[00a5]", "13[R-77]"})
            .Vesk208(0x2B, 0x05)
            .End()
            .Bytes();
    const Observed observed = Observe(table);
    EXPECT_EQ(observed.result, 1);
    const std::vector<std::string> expected = {
        "structure @0 type 1 length 8 handle 256",
        "string @0 #1 Acme",
        "string @0 #2 Box",
        "string @0 #3 1.0",
        "string @0 #4 SN1",
        "candidate manufacturer-string @0 #1 Acme",
        "structure @26 type 11 length 5 handle 1",
        "string @26 #1 1[00a5]",
        "candidate oem-system-id @26 #1 00a5",
        "string @26 #2 13[R-77]",
        "candidate oem-regulatory-id @26 #2 R-77",
        "structure @49 type 208 length 10 handle 2",
        "candidate type-208 @49 #0 52B",
        "structure @61 type 127 length 4 handle 3",
        "value 0 manufacturer-string Acme",
        "value 1 oem-system-id A5",
        "value 2 oem-regulatory-id R-77",
    };
    EXPECT_EQ(observed.events, expected);
}

TEST(WalkObserverTest, ReportsTheFallbacks) {
    const Observed observed = Observe(TableBuilder().Vesk208(0x10, 0x02).Bytes());
    const std::vector<std::string> values(observed.events.end() - 3, observed.events.end());
    const std::vector<std::string> expected = {"value 0 fallback ", "value 1 type-208 210",
                                               "value 2 fallback 00000"};
    EXPECT_EQ(values, expected);
}

TEST(WalkObserverTest, HandleIsUnknownOutsideTheFormattedAreaOrTable) {
    const Observed shortArea = Observe({0x05, 0x03, 0x07, 0x00, 0x00});
    EXPECT_EQ(shortArea.events.at(0), "structure @0 type 5 length 3 handle -1");
    const Observed cut = Observe({0x05, 0x04, 0x07});
    EXPECT_EQ(cut.events.at(0), "structure @0 type 5 length 4 handle -1");
}

struct AnomalyCase {
    const char* name;
    std::vector<BYTE> table;
    int result;
    std::vector<std::string> anomalies;
};

std::ostream& operator<<(std::ostream& os, const AnomalyCase& c) {
    return os << c.name;
}

class AnomalyTest : public ::testing::TestWithParam<AnomalyCase> {};

TEST_P(AnomalyTest, IsReportedWithItsPlace) {
    const Observed observed = Observe(GetParam().table);
    std::vector<std::string> anomalies;
    for (const std::string& event : observed.events)
        if (event.rfind("anomaly ", 0) == 0) anomalies.push_back(event);
    EXPECT_EQ(observed.result, GetParam().result);
    EXPECT_EQ(anomalies, GetParam().anomalies);
}

const AnomalyCase kAnomalies[] = {
    {"None", TableBuilder().System(1, {"Acme"}).Oem({"1[2]", "13[3]"}).End().Bytes(), 1, {}},
    {"CutBeforeStringNumber",
     TableBuilder().End().Raw({0x01, 0x04, 0x00, 0x01}).Bytes(),
     0,
     {"anomaly truncated-structure @6 #0"}},
    {"StringAreaCutOff",
     {0x0B, 0x05, 0x00, 0x00, 0x02, '1', '[', '7', ']', 0x00, '1'},
     0,
     {"anomaly truncated-structure @0 #0"}},
    {"OtherTypeWithoutClosingZeros",
     TableBuilder().End().Raw({0x04, 0x05, 0x01, 0x00, 0x01, 'C'}).Bytes(),
     1,
     {"anomaly unterminated-structure @6 #0"}},
    {"StringNumberOutOfRange",
     TableBuilder().System(3, {"Acme", "Box"}).Oem({"1[2A]"}).Bytes(),
     0,
     {"anomaly string-number-out-of-range @0 #3"}},
    {"MarkersWithoutBracket",
     TableBuilder().Oem({"x", "13[R-1", "1[2b"}).Bytes(),
     1,
     {"anomaly marker-without-bracket @0 #2", "anomaly marker-without-bracket @0 #3"}},
    {"OverLongString",
     TableBuilder().System(2, {"A", std::string(128, 'M')}).Bytes(),
     1,
     {"anomaly over-long-string @0 #2"}},
};
INSTANTIATE_TEST_SUITE_P(Walk, AnomalyTest, ::testing::ValuesIn(kAnomalies),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(WalkObserverTest, OverLongStringIsSeenCut) {
    const Observed observed = Observe(TableBuilder().System(1, {std::string(200, 'M')}).Bytes());
    EXPECT_EQ(observed.events.at(1), "anomaly over-long-string @0 #1");
    EXPECT_EQ(observed.events.at(2), "string @0 #1 " + std::string(127, 'M'));
}

} // namespace
