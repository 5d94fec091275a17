// The run sequence end to end against the stand-in: gate, probe, the three record operations
// under one guard, and the exit code.
#include "app/RunVeskInfo.h"
#include "MachineSetup.h"
#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Texts = std::vector<std::string>;
using machine::StoredText;

class RunVeskInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        g_bTraceEnabled = 1;
        machine::SeedSMBiosTable(machine::AcmeTable());
    }
    void TearDown() override {
        EXPECT_EQ(winsim::OpenRegistryKeyCount(), 0u);
        EXPECT_EQ(winsim::OutstandingHeapBlocks(), 0u);
    }

    // Start-up as the process does it: the record is made, banner included, before the run.
    int Run() {
        record = std::make_unique<CSysInfo>();
        return RunVeskInfo(*record);
    }

    static Texts VersionLines(int platform, int major, int minor) {
        return {TRACE_OS_CHECK, "CgOS   ->  LoadOSVersion ID:   " + std::to_string(platform),
                "CgOS   ->  LoadOSVersion Major:" + std::to_string(major),
                "CgOS   ->  LoadOSVersion Minor:" + std::to_string(minor)};
    }

    static Texts NormalRun(const char* probeLine) {
        Texts texts = {TRACE_BANNER};
        for (const std::string& line : VersionLines(2, 6, 1))
            texts.push_back(line);
        for (const char* line :
             {probeLine, "VeskInfo - szManufacturer [Acme Corp.]",
              "VeskInfo - szSystemIdHex  [1F3]", "VeskInfo - szRegulatoryID [ABC01]", TRACE_SAVE,
              TRACE_LOAD, "VeskInfo - szManufacturer [acme corp.]",
              "VeskInfo - szSystemIdHex  [1f3]", "VeskInfo - szRegulatoryID [abc01]"})
            texts.push_back(line);
        return texts;
    }

    std::unique_ptr<CSysInfo> record;
};

TEST_F(RunVeskInfoTest, NormalRunTracesEveryStepAndStoresTheIdentity) {
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(machine::TextsWithoutWmi(), NormalRun(TRACE_WIN64));
    EXPECT_EQ(StoredText("SystemIdHex"), "1F3");
    EXPECT_EQ(StoredText("RegulatoryID"), "ABC01");
    EXPECT_EQ(StoredText("System Manufacturer"), "Acme Corp.");
}

TEST_F(RunVeskInfoTest, ThirtyTwoBitSystemRunsTheSameWay) {
    winsim::SetWow64Probe(winsim::Wow64Probe::ReturnsZero);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(machine::TextsWithoutWmi(), NormalRun(TRACE_WIN32));
    EXPECT_EQ(StoredText("System Manufacturer"), "Acme Corp.");
}

TEST_F(RunVeskInfoTest, UnsupportedSystemIsRefusedWithNothingReadOrWritten) {
    struct Version {
        int platform, major, minor;
    };
    for (const Version& v : {Version{2, 5, 1}, Version{2, 10, 0}, Version{1, 6, 0}}) {
        SCOPED_TRACE(v.major);
        SetUp();
        winsim::SetReportedVersion(v.platform, v.major, v.minor);
        EXPECT_EQ(Run(), -1);
        Texts expected = {TRACE_BANNER};
        for (const std::string& line : VersionLines(v.platform, v.major, v.minor))
            expected.push_back(line);
        expected.push_back(TRACE_NOT_VISTA);
        EXPECT_EQ(winsim::DebugTexts(), expected);
        for (const char* call : {"RegOpenKeyExA", "RegCreateKeyA", "RegQueryValueExA",
                                 "RegSetValueExA", "HeapAlloc", "LoadLibraryA"})
            EXPECT_TRUE(winsim::CallsTo(call).empty()) << call;
        EXPECT_FALSE(winsim::RegistryKeyExists(machine::kSysInfoKey));
    }
}

// Out of memory for the table block is handled by nobody but the run's guard.
TEST_F(RunVeskInfoTest, OutOfMemoryForTheTableEndsTheRunWithMinusOne) {
    winsim::FailCall("HeapAlloc", 0);
    EXPECT_EQ(Run(), -1);
    const Texts texts = machine::TextsWithoutWmi();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), TRACE_WIN64);
    EXPECT_FALSE(winsim::RegistryKeyExists(machine::kSysInfoKey));
}

TEST_F(RunVeskInfoTest, FailureEscapingMidwayKeepsWhatWasWritten) {
    winsim::ThrowInCall("RegSetValueExA", 2);
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(StoredText("SystemIdHex"), "1F3");
    EXPECT_EQ(StoredText("RegulatoryID"), "(absent)");
    EXPECT_EQ(machine::TextsWithoutWmi().back(), TRACE_SAVE);
}

// The DLL search is restricted before the first call that loads a library (the probe's, then
// COM's), without a trace line of its own.
TEST_F(RunVeskInfoTest, DllSearchIsRestrictedBeforeAnyLibraryIsLoaded) {
    struct Case {
        const char* name;
        int minor;
        bool exported, refused;
        std::vector<std::string> expected; // the restricting calls, with their arguments
    };
    const Case cases[] = {
        {"system directory only", 1, true, false, {"SetDefaultDllDirectories 0x800"}},
        {"no loader update", 1, false, false, {"SetDllDirectoryA "}},
        {"restriction refused",
         2,
         true,
         true,
         {"SetDefaultDllDirectories 0x800", "SetDllDirectoryA "}},
        {"version 6.0 left alone", 0, true, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        winsim::SetReportedVersion(2, 6, c.minor);
        winsim::SetDefaultDllDirectoriesExported(c.exported);
        if (c.refused) winsim::FailCall("SetDefaultDllDirectories", FALSE);
        EXPECT_EQ(Run(), 0);
        std::vector<std::string> restricting;
        size_t firstLoad = 0;
        for (const winsim::Call& call : winsim::Calls()) {
            if (call.function == "SetDefaultDllDirectories" || call.function == "SetDllDirectoryA")
                restricting.push_back(call.function + " " + call.args.at(0));
            else if (call.function == "LoadLibraryA" || call.function.rfind("Co", 0) == 0)
                break;
            ++firstLoad;
        }
        EXPECT_LT(firstLoad, winsim::Calls().size()) << "no library was loaded";
        EXPECT_EQ(restricting, c.expected);
        Texts expected = NormalRun(TRACE_WIN64);
        expected[4] = "CgOS   ->  LoadOSVersion Minor:" + std::to_string(c.minor);
        EXPECT_EQ(machine::TextsWithoutWmi(), expected);
    }
}

TEST_F(RunVeskInfoTest, HandledRegistryFailuresKeepExitCodeZero) {
    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(machine::TextsWithoutWmi().back(), "VeskInfo - szRegulatoryID []");
}

} // namespace
