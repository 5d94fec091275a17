// Decoding the "SMBiosData" value from registry exports as the registry editor writes them, and
// the one-line reasons for rejecting the others.
#include "input/RegExport.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Ansi(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The text in UTF-16 with its byte order mark, little- or big-endian.
Bytes Utf16(const std::string& text, bool little = true) {
    Bytes bytes = little ? Bytes{0xFF, 0xFE} : Bytes{0xFE, 0xFF};
    for (const char c : text) {
        const unsigned char unit[2] = {static_cast<unsigned char>(c), 0};
        bytes.push_back(little ? unit[0] : unit[1]);
        bytes.push_back(little ? unit[1] : unit[0]);
    }
    return bytes;
}

const std::string kKey =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data]\r\n";
const std::string kV4 = "REGEDIT4\r\n\r\n" + kKey;
const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n" + kKey;

struct ParseCase {
    const char* name;
    Bytes input;
    Bytes table;       // expected when error is empty
    std::string error; // expected rejection
};

std::ostream& operator<<(std::ostream& os, const ParseCase& c) {
    return os << c.name;
}

class RegExportTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RegExportTest, Decodes) {
    Bytes table;
    std::string error;
    const bool parsed = ParseRegExport(GetParam().input, table, error);
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(parsed, GetParam().error.empty());
    if (parsed) {
        EXPECT_EQ(table, GetParam().table);
    }
}

const ParseCase kDecoded[] = {
    {"Regedit4OneLine", Ansi(kV4 + "\"SMBiosData\"=hex:01,02,ff\r\n"), {1, 2, 0xFF}, ""},
    {"ContinuationLines",
     Ansi(kV4 + "\"SMBiosData\"=hex:00,01,\\\r\n  02,03,\\\r\n  04\r\n\"Next\"=hex:09\r\n"),
     {0, 1, 2, 3, 4},
     ""},
    {"LineFeedsOnly", Ansi("REGEDIT4\n\"SMBiosData\"=hex:0a,\\\n  0B\n"), {0x0A, 0x0B}, ""},
    {"Version5InUtf16", Utf16(kV5 + "\"SMBiosData\"=hex:7f,\\\r\n  80\r\n"), {0x7F, 0x80}, ""},
    {"Version5InUtf16BigEndian", Utf16(kV5 + "\"SMBiosData\"=hex:33\r\n", false), {0x33}, ""},
    {"Version5InUtf8WithMark",
     Ansi("\xEF\xBB\xBF" + kV5 + "\"SMBiosData\"=hex:44\r\n"),
     {0x44},
     ""},
    {"TypedHexOfAnyType", Ansi(kV4 + "\"SMBiosData\"=hex(3):05,06\r\n"), {5, 6}, ""},
    {"TypedHexNone", Ansi(kV4 + "\"SMBiosData\"=hex(0):07\r\n"), {7}, ""},
    {"NameAndPrefixInAnyCase", Ansi(kV4 + "\"smbiosDATA\"=HEX:08\r\n"), {8}, ""},
    {"BlanksAroundBytes", Ansi(kV4 + "\"SMBiosData\" = hex: 01 , 02 ,03 \r\n"), {1, 2, 3}, ""},
    {"FirstValueWins", Ansi(kV4 + "\"SMBiosData\"=hex:01\r\n\"SMBiosData\"=hex:02\r\n"), {1}, ""},
    {"CommentsAndOtherValuesAreSkipped",
     Ansi(kV4 + ";\"SMBiosData\"=hex:ee\r\n\"SMBiosDataCopy\"=hex:ee\r\n\"SMBiosData\"=hex:0c\r\n"),
     {0x0C},
     ""},
};
INSTANTIATE_TEST_SUITE_P(Accepted, RegExportTest, ::testing::ValuesIn(kDecoded),
                         [](const auto& param) { return std::string(param.param.name); });

const ParseCase kRejected[] = {
    {"NoHeader",
     Ansi("\"SMBiosData\"=hex:01\r\n"),
     {},
     "not a registry export (no \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" "
     "first line)"},
    {"RawTable",
     {0x00, 0x1A, 0x00, 0x00, 0x01},
     {},
     "not a registry export (no \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" "
     "first line)"},
    {"NoValue",
     Ansi(kV4 + "\"AcpiData\"=hex:01\r\n"),
     {},
     "no \"SMBiosData\" value in the registry export"},
    {"BadDigit",
     Ansi(kV4 + "\"SMBiosData\"=hex:01,0g\r\n"),
     {},
     "bad byte \"0g\" in \"SMBiosData\" (line 4)"},
    {"OneDigit",
     Ansi(kV4 + "\"SMBiosData\"=hex:01,2\r\n"),
     {},
     "bad byte \"2\" in \"SMBiosData\" (line 4)"},
    {"TrailingComma",
     Ansi(kV4 + "\"SMBiosData\"=hex:01,\r\n"),
     {},
     "bad byte \"\" in \"SMBiosData\" (line 4)"},
    {"LineOfTheValueStart",
     Ansi(kV4 + "\"SMBiosData\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n"),
     {},
     "bad byte \"zz\" in \"SMBiosData\" (line 4)"},
    {"Empty", Ansi(kV4 + "\"SMBiosData\"=hex:\r\n"), {}, "\"SMBiosData\" is empty (line 4)"},
    {"DwordValue",
     Ansi(kV4 + "\"SMBiosData\"=dword:00000001\r\n"),
     {},
     "\"SMBiosData\" is not hex data (line 4)"},
    {"DeletedValue",
     Ansi(kV4 + "\"SMBiosData\"=-\r\n"),
     {},
     "\"SMBiosData\" is not hex data (line 4)"},
    {"BadTypedHex",
     Ansi(kV4 + "\"SMBiosData\"=hex(q):01\r\n"),
     {},
     "\"SMBiosData\" is not hex data (line 4)"},
    {"NoEqualsSign",
     Ansi(kV4 + "\"SMBiosData\" hex:01\r\n"),
     {},
     "malformed \"SMBiosData\" line (line 4)"},
};
INSTANTIATE_TEST_SUITE_P(Rejected, RegExportTest, ::testing::ValuesIn(kRejected),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(RegExportDetectionTest, KnowsAnExportByItsFirstLine) {
    EXPECT_TRUE(IsRegExport(Ansi("REGEDIT4\r\n")));
    EXPECT_TRUE(IsRegExport(Utf16(kV5)));
    EXPECT_TRUE(IsRegExport(Ansi("  REGEDIT4  \n")));
    EXPECT_FALSE(IsRegExport(Ansi("REGEDIT5\r\n")));
    EXPECT_FALSE(IsRegExport(Ansi("\r\nREGEDIT4\r\n")));
    EXPECT_FALSE(IsRegExport({}));
    EXPECT_FALSE(IsRegExport({0x01, 0x1B, 0x01, 0x00}));
}

} // namespace
