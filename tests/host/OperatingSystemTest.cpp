// CgOS against the stand-in: the version gate with its trace, and the 64-bit probe.
#include "app/gOS.h"
#include "control.h"
#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

class OperatingSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        g_bTraceEnabled = 1;
    }
};

TEST_F(OperatingSystemTest, ConstructionSwitchesTheTraceOn) {
    g_bTraceEnabled = 0;
    CgOS os;
    EXPECT_EQ(g_bTraceEnabled, 1);
    EXPECT_TRUE(winsim::DebugTexts().empty());
}

struct VersionCase {
    unsigned long platform, major, minor;
    int supported;
};

class VersionGateTest : public OperatingSystemTest,
                        public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionGateTest, OnlyNtSixIsSupportedAndTheVersionIsTracedFirst) {
    const VersionCase& c = GetParam();
    winsim::SetReportedVersion(c.platform, c.major, c.minor);
    CgOS os;
    EXPECT_EQ(os.IsVistaOS(), c.supported);
    const Texts expected = {"c_Init -> IsOSMisMatch",
                            "CgOS   ->  LoadOSVersion ID:   " + std::to_string(c.platform),
                            "CgOS   ->  LoadOSVersion Major:" + std::to_string(c.major),
                            "CgOS   ->  LoadOSVersion Minor:" + std::to_string(c.minor)};
    EXPECT_EQ(winsim::DebugTexts(), expected);
    const auto calls = winsim::CallsTo("GetVersionExA");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], "148");
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionGateTest,
                         ::testing::Values(VersionCase{2, 6, 0, 1}, VersionCase{2, 6, 1, 1},
                                           VersionCase{2, 6, 2, 1}, VersionCase{2, 6, 3, 1},
                                           VersionCase{2, 6, 99, 1}, VersionCase{2, 5, 1, 0},
                                           VersionCase{2, 10, 0, 0}, VersionCase{2, 7, 0, 0},
                                           VersionCase{1, 6, 0, 0}, VersionCase{0, 6, 1, 0}));

TEST_F(OperatingSystemTest, UnansweredVersionQueryKeepsWhatWasKnown) {
    CgOS os;
    ASSERT_EQ(os.IsVistaOS(), 1);
    winsim::SetReportedVersion(2, 5, 1);
    winsim::FailCall("GetVersionExA", FALSE);
    EXPECT_EQ(os.IsVistaOS(), 1);
}

TEST_F(OperatingSystemTest, FreshObjectWithUnansweredQueryIsNotSupported) {
    winsim::FailCall("GetVersionExA", FALSE);
    CgOS os;
    EXPECT_EQ(os.IsVistaOS(), 0);
    EXPECT_EQ(winsim::DebugTexts()[1], "CgOS   ->  LoadOSVersion ID:   0");
}

struct ProbeCase {
    const char* name;
    winsim::Wow64Probe probe;
    const char* failingCall;  // made to fail (return null or 0), or null
    const char* throwingCall; // made to throw, or null
    bool is64Bit;
    Texts trace;
};

class Wow64ProbeTest : public OperatingSystemTest,
                       public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(Wow64ProbeTest, ResultAndTraceFollowTheProbe) {
    const ProbeCase& c = GetParam();
    winsim::SetWow64Probe(c.probe);
    if (c.failingCall) winsim::FailCall(c.failingCall, 0);
    if (c.throwingCall) winsim::ThrowInCall(c.throwingCall);
    CgOS os;
    const int result = os.Is64BitOS();
    if (c.is64Bit)
        EXPECT_NE(result, 0);
    else
        EXPECT_EQ(result, 0);
    EXPECT_EQ(winsim::DebugTexts(), c.trace);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Wow64ProbeTest,
    ::testing::Values(
        ProbeCase{"Answers", winsim::Wow64Probe::Answers, nullptr, nullptr, true, {TRACE_WIN64}},
        ProbeCase{
            "ReturnsZero", winsim::Wow64Probe::ReturnsZero, nullptr, nullptr, false, {TRACE_WIN32}},
        ProbeCase{
            "Absent", winsim::Wow64Probe::Absent, nullptr, nullptr, false, {TRACE_NO_WOW64_PROC}},
        ProbeCase{"NoKernelLibrary",
                  winsim::Wow64Probe::Answers,
                  "LoadLibraryA",
                  nullptr,
                  false,
                  {TRACE_WIN32}},
        ProbeCase{
            "LookupThrows", winsim::Wow64Probe::Answers, nullptr, "GetProcAddress", false, {}},
        ProbeCase{"QueryThrows",
                  winsim::Wow64Probe::Answers,
                  nullptr,
                  "GetSystemWow64DirectoryA",
                  false,
                  {}},
        ProbeCase{"LoadThrows", winsim::Wow64Probe::Answers, nullptr, "LoadLibraryA", false, {}}),
    [](const ::testing::TestParamInfo<ProbeCase>& param) { return param.param.name; });

TEST_F(OperatingSystemTest, ProbeAsksKernel32WithAFullPathBuffer) {
    CgOS os;
    EXPECT_EQ(os.Is64BitOS(), static_cast<int>(std::string("C:\\Windows\\SysWOW64").size()));
    ASSERT_EQ(winsim::CallsTo("LoadLibraryA").size(), 1u);
    EXPECT_EQ(winsim::CallsTo("LoadLibraryA")[0].args[0], "kernel32.dll");
    EXPECT_EQ(winsim::CallsTo("GetProcAddress")[0].args[0], "GetSystemWow64DirectoryA");
    EXPECT_EQ(winsim::CallsTo("GetSystemWow64DirectoryA")[0].args[1], "260");
}

} // namespace
