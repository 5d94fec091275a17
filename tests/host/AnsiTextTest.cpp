// Marker searches and character counts honour double-byte characters of the ANSI code page.
#include "trace/AnsiText.h"
#include "control.h"
#include "smbios/SystemIdentity.h"

#include "../pure/TableBuilder.h"

#include <gtest/gtest.h>

namespace {

class AnsiTextTest : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
    void TearDown() override { winsim::Reset(); }
};

TEST_F(AnsiTextTest, SingleByteSearchIsBytewise) {
    const char text[] = "\x82"
                        "1[5]";
    EXPECT_EQ(AnsiFind(text, "1["), text + 1);
    EXPECT_EQ(AnsiCharCount(text), 5);
}

TEST_F(AnsiTextTest, TrailByteNeverStartsAMatch) {
    winsim::SetDoubleByteCodePage(true);
    // 0x81 0x31 is one character whose trail byte happens to be '1'.
    const char text[] = "\x81"
                        "1[5]"
                        "x1[6]";
    EXPECT_EQ(AnsiFind(text, "1["), text + 6);
    EXPECT_EQ(AnsiCharCount(text), 9);
}

TEST_F(AnsiTextTest, LeadByteBeforeTheTerminatorCountsOnce) {
    winsim::SetDoubleByteCodePage(true);
    EXPECT_EQ(AnsiCharCount("ab\x81"), 3);
    EXPECT_EQ(AnsiFind("ab\x81", "]"), nullptr);
}

TEST_F(AnsiTextTest, WalkUsesCharacterAwareMarkers) {
    winsim::SetDoubleByteCodePage(true);
    // The first '1' is a trail byte, so its "1[" is no marker; the "]" right after the next lead
    // byte is a trail byte too, so the value runs to the following one.
    const auto table = TableBuilder()
                           .Oem({"\x81"
                                 "1[4]x1[7\x81]8]"})
                           .Bytes();
    IdentityCandidates candidates = {};
    EXPECT_EQ(WalkSMBiosTable(table.data(), static_cast<int>(table.size()), candidates), 1);
    EXPECT_STREQ(candidates.oemSystemId, "7\x81]8");
}

} // namespace
