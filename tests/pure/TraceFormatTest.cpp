// Formatting rules of the trace channel: the format-length limit and the bounded buffer.
#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

bool Format(char (&buffer)[kTraceBufferSize], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool traced = FormatTrace(buffer, format, args);
    va_end(args);
    return traced;
}

TEST(TraceFormatTest, FormatOf259CharactersIsTraced) {
    const std::string format(259, 'a');
    char buffer[kTraceBufferSize];
    EXPECT_TRUE(Format(buffer, format.c_str()));
    EXPECT_EQ(std::string(buffer), format);
}

TEST(TraceFormatTest, FormatOf260CharactersIsDropped) {
    const std::string format(260, 'a');
    char buffer[kTraceBufferSize] = "stale";
    EXPECT_FALSE(Format(buffer, format.c_str()));
    EXPECT_STREQ(buffer, "");
}

TEST(TraceFormatTest, LimitCountsTheFormatNotTheFormattedText) {
    const std::string argument(400, 'b');
    char buffer[kTraceBufferSize];
    EXPECT_TRUE(Format(buffer, TRACE_MANUFACTURER, argument.c_str()));
    EXPECT_EQ(std::string(buffer), "VeskInfo - szManufacturer [" + argument + "]");
}

TEST(TraceFormatTest, LongTextIsCutToTheBuffer) {
    const std::string argument(600, 'c');
    char buffer[kTraceBufferSize];
    EXPECT_TRUE(Format(buffer, "%s", argument.c_str()));
    EXPECT_EQ(std::string(buffer), argument.substr(0, kTraceBufferSize - 1));
}

struct TextCase {
    std::string expected;
    std::string formatted;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.expected;
}

class TraceTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TraceTextTest, FormatsExactly) {
    EXPECT_EQ(GetParam().formatted, GetParam().expected);
}

std::string Formatted(const char* format, ...) {
    char buffer[kTraceBufferSize];
    va_list args;
    va_start(args, format);
    FormatTrace(buffer, format, args);
    va_end(args);
    return buffer;
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, TraceTextTest,
    ::testing::Values(
        TextCase{"CgOS   ->  LoadOSVersion ID:   2", Formatted(TRACE_OS_ID, 2L)},
        TextCase{"CgOS   ->  LoadOSVersion Major:6", Formatted(TRACE_OS_MAJOR, 6L)},
        TextCase{"CgOS   ->  LoadOSVersion Minor:1", Formatted(TRACE_OS_MINOR, 1L)},
        TextCase{"Error code: -2147221164\n", Formatted(TRACE_WMI_ERROR_CODE, -2147221164L)},
        TextCase{"VeskInfo - szManufacturer []", Formatted(TRACE_MANUFACTURER, "")},
        TextCase{"VeskInfo - szSystemIdHex  [%d 1F]", Formatted(TRACE_SYSTEM_ID, "%d 1F")},
        TextCase{"VeskInfo - szRegulatoryID [R-77]", Formatted(TRACE_REGULATORY_ID, "R-77")},
        TextCase{"VeskInfo ---------------------------------->", Formatted(TRACE_BANNER)},
        TextCase{"         -  Win 64 OS", Formatted(TRACE_WIN64)}));

} // namespace
