// The walk and the finalisation over hand-built tables: the values found, their priorities and
// fall-backs, and where a malformed table stops the walk.
#include "TableBuilder.h"
#include "WalkOutcome.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct WalkCase {
    const char* name;
    std::vector<BYTE> table;
    Outcome expected;
};

std::ostream& operator<<(std::ostream& os, const WalkCase& c) {
    return os << c.name;
}

class WalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(WalkTest, FindsTheIdentity) {
    EXPECT_EQ(Identify(GetParam().table), GetParam().expected);
}

// A tool following the walk must see the same walk as the program.
TEST_P(WalkTest, AnObserverChangesNothing) {
    WalkObserver ignoring;
    EXPECT_EQ(Identify(GetParam().table, &ignoring), GetParam().expected);
}

std::vector<BYTE> Concat(std::vector<BYTE> a, const std::vector<BYTE>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<BYTE> kWorkedTable =
    TableBuilder()
        .Add({0x01, 0x08, 0x00, 0x01, 0x01, 0x02, 0x03, 0x04}, {"Acme", "Box", "1.0", "SN1"})
        .Add({0x0B, 0x05, 0x01, 0x00, 0x02}, {"1[00a5]", "13[R-77]"})
        .Add({0xD0, 0x0A, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2B, 0x05}, {})
        .Add({0x7F, 0x04, 0x03, 0x00}, {})
        .Bytes();

const WalkCase kFound[] = {
    {"WorkedFourStructureTable", kWorkedTable, {1, "Acme", "A5", "R-77"}},
    {"EmptyTable", {}, {1, "", "0", "00000"}},
    {"OneByteTable", {0x01}, {1, "", "0", "00000"}},
    {"SecondStringIsManufacturer",
     TableBuilder().System(2, {"Acme", "Widget"}).Bytes(),
     {1, "Widget", "0", "00000"}},
    {"StringNumberZeroIsSteppedOver",
     TableBuilder().System(0, {"Acme"}).Bytes(),
     {1, "", "0", "00000"}},
    {"LaterSystemStructureWins",
     TableBuilder().System(1, {"First"}).System(1, {"Second"}).Bytes(),
     {1, "Second", "0", "00000"}},
    {"ManufacturerKeepsItsCase",
     TableBuilder().System(1, {"ACME corp."}).Bytes(),
     {1, "ACME corp.", "0", "00000"}},
    {"BothMarkersInTwoStrings",
     TableBuilder().Oem({"13[ABC123]", "1[00f]"}).Bytes(),
     {1, "", "F", "ABC123"}},
    {"BothMarkersInOneString", TableBuilder().Oem({"x1[7]13[9]"}).Bytes(), {1, "", "7", "9"}},
    {"MarkerFoundInsideEleven", TableBuilder().Oem({"11[5]"}).Bytes(), {1, "", "5", "00000"}},
    {"MarkerFoundInsideTwentyOne", TableBuilder().Oem({"21[C]"}).Bytes(), {1, "", "C", "00000"}},
    {"ThirteenIsNotASystemIdMarker", TableBuilder().Oem({"13[77]"}).Bytes(), {1, "", "0", "77"}},
    {"MarkersAreCaseSensitiveAndExact",
     TableBuilder().Oem({"1 [5]", "13 [6]", "1(7)"}).Bytes(),
     {1, "", "0", "00000"}},
    {"LaterOemStringWins", TableBuilder().Oem({"1[A]", "1[B]"}).Bytes(), {1, "", "B", "00000"}},
    {"LaterOemStructureWins",
     TableBuilder().Oem({"1[A]", "13[R1]"}).Oem({"1[C]"}).Bytes(),
     {1, "", "C", "R1"}},
    {"UnmarkedStringChangesNothing",
     TableBuilder().Oem({"1[A]", "nothing here"}).Bytes(),
     {1, "", "A", "00000"}},
    {"EmptyRegulatoryFallsBack",
     TableBuilder().Oem({"13[X1]", "13[]"}).Bytes(),
     {1, "", "0", "00000"}},
    {"Type208Value", TableBuilder().Vesk208(0x10, 0x02).Bytes(), {1, "", "210", "00000"}},
    {"Type208HighByteWithoutLeadingZero",
     TableBuilder().Vesk208(0x3C, 0x01).Bytes(),
     {1, "", "13C", "00000"}},
    {"Type208LowByteAlwaysTwoDigits",
     TableBuilder().Vesk208(0x3C, 0x00).Bytes(),
     {1, "", "03C", "00000"}},
    {"Type208AllZero", TableBuilder().Vesk208(0x00, 0x00).Bytes(), {1, "", "000", "00000"}},
    {"LaterType208Wins",
     TableBuilder().Vesk208(0x01, 0x00).Vesk208(0xFF, 0xAB).Bytes(),
     {1, "", "ABFF", "00000"}},
    {"OemValueWinsOverType208",
     TableBuilder().Vesk208(0x10, 0x02).Oem({"1[3]"}).Bytes(),
     {1, "", "3", "00000"}},
    {"OemBytePresentFlagZeroSkipsStrings",
     TableBuilder().Add({0x0B, 0x06, 0x01, 0x00, 0x01, 0x00}, {"1[5]"}).Bytes(),
     {1, "", "0", "00000"}},
    {"StructuresAfterEndOfTableAreWalked",
     TableBuilder().End().System(1, {"After"}).Oem({"13[Z]"}).Bytes(),
     {1, "After", "0", "Z"}},
    {"OtherTypesAreSteppedOver",
     TableBuilder().Add({0x00, 0x05, 0x00, 0x00, 0x01}, {"1[9]"}).System(1, {"Acme"}).Bytes(),
     {1, "Acme", "0", "00000"}},
    // The string test starts on the last formatted byte: non-zero there means one empty string.
    {"EmptyStringAreaAfterNonZeroByteGivesEmptyString",
     TableBuilder().Add({0x01, 0x08, 0x00, 0x01, 0x01, 0x02, 0x03, 0x04}, {}).Bytes(),
     {1, "", "0", "00000"}},
    {"LengthZeroStructureStillAdvances",
     TableBuilder().Raw({0x05, 0x00, 0x00, 0x00, 0x00}).System(1, {"Acme"}).Bytes(),
     {1, "Acme", "0", "00000"}},
    {"TrailingByteAfterLastStructureIsIgnored",
     Concat(TableBuilder().System(1, {"Acme"}).Bytes(), {0x01}),
     {1, "Acme", "0", "00000"}},
    {"StringOf127CharactersIsKept",
     TableBuilder().System(1, {std::string(127, 'M')}).Bytes(),
     {1, std::string(127, 'M'), "0", "00000"}},
    {"LongStringIsCutTo127AndTheWalkGoesOn",
     TableBuilder().System(1, {std::string(128, 'M'), "x"}).Oem({"13[R]"}).Bytes(),
     {1, std::string(127, 'M'), "0", "R"}},
    {"LongOemStringIsCutBeforeTheMarkerSearch",
     TableBuilder().Oem({std::string(126, '-') + "1[5]"}).Bytes(),
     {1, "", "0", "00000"}},
    {"MissingBracketTakesTheRestAndGoesOn",
     TableBuilder().Oem({"13[R-1", "1[2b"}).System(1, {"Acme"}).Bytes(),
     {1, "Acme", "2B", "R-1"}},
    {"FirstBracketEndsTheValue", TableBuilder().Oem({"13[A]B]"}).Bytes(), {1, "", "0", "A"}},
};
INSTANTIATE_TEST_SUITE_P(Found, WalkTest, ::testing::ValuesIn(kFound),
                         [](const auto& param) { return std::string(param.param.name); });

// The walk stops (result 0) and the values gathered before the stop are finalised.
const WalkCase kCutShort[] = {
    {"StringNumberOutOfRangeLosesLaterOemStrings",
     TableBuilder().System(3, {"Acme", "Box"}).Oem({"1[2A]", "13[Q]"}).Bytes(),
     {0, "", "0", "00000"}},
    {"StringNumberOutOfRangeKeepsEarlierValues",
     TableBuilder().Vesk208(0x10, 0x02).System(1, {"Old"}).System(3, {"A", "B"}).Bytes(),
     {0, "Old", "210", "00000"}},
    {"ZeroLastFormattedByteAndEmptyStringArea",
     TableBuilder().Add({0x01, 0x08, 0x00, 0x01, 0x01, 0x02, 0x03, 0x00}, {}).Bytes(),
     {0, "", "0", "00000"}},
    {"SystemStructureCutBeforeStringNumber", {0x01, 0x04, 0x00, 0x01}, {0, "", "0", "00000"}},
    {"OemStructureCutBeforePresentByte",
     Concat(TableBuilder().Oem({"13[K]"}).Bytes(), {0x0B, 0x05, 0x00, 0x00, 0x01}),
     {0, "", "0", "K"}},
    {"Type208CutBeforeOffset9",
     {0xD0, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x44},
     {0, "", "0", "00000"}},
    {"Type208CutBeforeOffset8",
     {0xD0, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
     {0, "", "0", "00000"}},
    {"UnterminatedStringIsNotUsed",
     {0x01, 0x05, 0x00, 0x00, 0x01, 'A', 'c', 'm', 'e'},
     {0, "", "0", "00000"}},
    {"MissingClosingZeroAfterLastString",
     {0x01, 0x05, 0x00, 0x00, 0x01, 'A', 'c', 'm', 'e', 0x00},
     {0, "", "0", "00000"}},
    {"OemStringsBeforeTheCutAreExamined",
     {0x0B, 0x05, 0x00, 0x00, 0x02, '1', '[', '7', ']', 0x00, '1', '3', '['},
     {0, "", "7", "00000"}},
    {"FormattedAreaLongerThanTheTable",
     {0x01, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x00},
     {0, "", "0", "00000"}},
    // Length 0 at the very start: the string test would begin one byte before the table.
    {"LengthZeroStructureAtTableStart",
     {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00},
     {0, "", "0", "00000"}},
};
INSTANTIATE_TEST_SUITE_P(CutShort, WalkTest, ::testing::ValuesIn(kCutShort),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(WalkTest, LengthLimitsTheWalk) {
    // Only the first `length` bytes are walked, even when more follow in memory.
    const std::vector<BYTE> table = TableBuilder().System(1, {"Acme"}).Oem({"1[5]"}).Bytes();
    IdentityCandidates candidates = {};
    EXPECT_EQ(WalkSMBiosTable(table.data(), 15, candidates), 1);
    EXPECT_STREQ(candidates.manufacturer, "Acme");
    EXPECT_STREQ(candidates.oemSystemId, "");
}

TEST(WalkTest, NegativeLengthWalksNothing) {
    const std::vector<BYTE> table = TableBuilder().System(1, {"Acme"}).Bytes();
    IdentityCandidates candidates = {};
    EXPECT_EQ(WalkSMBiosTable(table.data(), -5, candidates), 1);
    EXPECT_STREQ(candidates.manufacturer, "");
}

} // namespace
