// The "%X" normalisation of the OEM system identifier must give the same text on every C
// runtime, including for signs, prefixes and values wider than 32 bits.
#include "smbios/SystemIdentity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

namespace {

struct HexCase {
    const char* input;
    const char* expected;
    bool converted;
};

void PrintTo(const HexCase& c, std::ostream* os) {
    *os << '"' << c.input << '"';
}

class HexNormaliseTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexNormaliseTest, RewritesAsScanned) {
    char text[kCandidateIdSize] = {};
    std::snprintf(text, sizeof text, "%s", GetParam().input);
    EXPECT_EQ(NormaliseHexText(text, sizeof text), GetParam().converted);
    EXPECT_STREQ(text, GetParam().expected);
}

const HexCase kHexCases[] = {
    {"00a5", "A5", true},
    {"0x1f", "1F", true},
    {"0X1F", "1F", true},
    {"f", "F", true},
    {"0", "0", true},
    {"000", "0", true},
    {"  \t+a5", "A5", true},
    {"-1", "FFFFFFFF", true},
    {"-0x10", "FFFFFFF0", true},
    {"FFFFFFFF", "FFFFFFFF", true},
    {"123456789", "23456789", true}, // low 32 bits of a wider value
    {"1FFFFFFFFFFFFFFFF", "FFFFFFFF", true},
    {"12g4", "12", true}, // digits up to the first other character
    {"0xg", "0", true},   // "0" read, the x ends the number
    {"zz", "zz", false},
    {"", "", false},
    {"-", "-", false},
    {"+ 5", "+ 5", false},
    {" x5", " x5", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, HexNormaliseTest, ::testing::ValuesIn(kHexCases));

TEST(HexNormaliseTest, ResultIsCutToTheBuffer) {
    char text[4] = "-1";
    EXPECT_TRUE(NormaliseHexText(text, sizeof text));
    EXPECT_STREQ(text, "FFF");
}

} // namespace
