// DebugTrace against the stand-in's debugger-output channel.
#include "control.h"
#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class TraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        g_bTraceEnabled = 1;
    }
    void TearDown() override { g_bTraceEnabled = 1; }
};

TEST_F(TraceTest, TextsReachTheDebuggerOutputInOrderAndUnchanged) {
    DebugTrace(TRACE_BANNER);
    DebugTrace(TRACE_OS_MAJOR, 6L);
    DebugTrace(TRACE_MANUFACTURER, "");
    DebugTrace(TRACE_WMI_CREATED);
    const std::vector<std::string> expected = {
        "VeskInfo ---------------------------------->", "CgOS   ->  LoadOSVersion Major:6",
        "VeskInfo - szManufacturer []", "CWMIInterface::Connect CoCreateInstance ok\n"};
    EXPECT_EQ(winsim::DebugTexts(), expected);
}

TEST_F(TraceTest, SwitchedOffTraceIsSilent) {
    g_bTraceEnabled = 0;
    DebugTrace(TRACE_BANNER);
    EXPECT_TRUE(winsim::DebugTexts().empty());
}

TEST_F(TraceTest, TooLongFormatIsDroppedSilently) {
    DebugTrace("%s", std::string(259, 'a').c_str());
    DebugTrace(std::string(260, 'a').c_str(), 0);
    DebugTrace(std::string(259, 'a').c_str(), 0);
    ASSERT_EQ(winsim::DebugTexts().size(), 2u);
    EXPECT_EQ(winsim::DebugTexts()[1], std::string(259, 'a'));
}

TEST_F(TraceTest, DoubleByteCharacterCountsOnceInTheFormatLimit) {
    winsim::SetDoubleByteCodePage(true);
    // 200 double-byte characters (400 bytes) plus 59 single ones: 259 characters.
    std::string format;
    for (int i = 0; i < 200; ++i)
        format += "\x82\xA0";
    format += std::string(59, 'a');
    DebugTrace(format.c_str(), 0);
    DebugTrace((format + "a").c_str(), 0);
    ASSERT_EQ(winsim::DebugTexts().size(), 1u);
    EXPECT_EQ(winsim::DebugTexts()[0], format);
}

TEST_F(TraceTest, SingleByteCodePageCountsEveryByte) {
    std::string format;
    for (int i = 0; i < 130; ++i)
        format += "\x82\xA0"; // 260 characters in a single-byte page
    DebugTrace(format.c_str(), 0);
    EXPECT_TRUE(winsim::DebugTexts().empty());
}

TEST_F(TraceTest, StartUpInitialiserSwitchesTheTraceOn) {
    g_bTraceEnabled = 0;
    TraceSwitchInitialiser initialiser;
    EXPECT_EQ(g_bTraceEnabled, 1);
}

} // namespace
