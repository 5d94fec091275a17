// The identity record: its construction, and its three operations with their exact traces
// and registry effects.
#include "store/SysInfo.h"
#include "MachineSetup.h"
#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using Texts = std::vector<std::string>;
using machine::StoredText;

class SysInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        g_bTraceEnabled = 1;
        record = std::make_unique<CSysInfo>();
        winsim::ClearDebugTexts();
    }
    void TearDown() override {
        EXPECT_EQ(winsim::OpenRegistryKeyCount(), 0u);
        EXPECT_EQ(winsim::OutstandingHeapBlocks(), 0u);
    }

    void SetIdentity(const char* manufacturer, const char* systemId, const char* regulatoryId) {
        std::strcpy(record->identity.szManufacturer, manufacturer);
        std::strcpy(record->identity.szSystemIdHex, systemId);
        std::strcpy(record->identity.szRegulatoryID, regulatoryId);
    }
    void SeedStored(const std::string& systemId, const std::string& regulatoryId,
                    const std::string& manufacturer) {
        winsim::SeedRegistryValue(machine::kSysInfoKey, "SystemIdHex", REG_SZ, systemId);
        winsim::SeedRegistryValue(machine::kSysInfoKey, "RegulatoryID", REG_SZ, regulatoryId);
        winsim::SeedRegistryValue(machine::kSysInfoKey, "System Manufacturer", REG_SZ,
                                  manufacturer);
    }

    std::unique_ptr<CSysInfo> record;
};

TEST_F(SysInfoTest, ConstructionSwitchesTheTraceOnBeforeTheBanner) {
    g_bTraceEnabled = 0;
    CSysInfo fresh;
    EXPECT_EQ(g_bTraceEnabled, 1);
    EXPECT_EQ(winsim::DebugTexts(), Texts{TRACE_BANNER});
    EXPECT_STREQ(fresh.identity.szManufacturer, "");
    EXPECT_STREQ(fresh.szLoadedManufacturer, "");
}

TEST_F(SysInfoTest, ReadFillsTheFoundFieldsAndTracesThem) {
    machine::SeedSMBiosTable(machine::AcmeTable());
    SetIdentity("stale", "stale", "stale");
    EXPECT_EQ(record->dReadSMBiosData(), 1);
    EXPECT_STREQ(record->identity.szManufacturer, "Acme Corp.");
    EXPECT_STREQ(record->identity.szSystemIdHex, "1F3");
    EXPECT_STREQ(record->identity.szRegulatoryID, "ABC01");
    const Texts expected = {"VeskInfo - szManufacturer [Acme Corp.]",
                            "VeskInfo - szSystemIdHex  [1F3]", "VeskInfo - szRegulatoryID [ABC01]"};
    EXPECT_EQ(machine::TextsWithoutWmi(), expected);
}

TEST_F(SysInfoTest, SaveStoresTheThreeTextsInOrderWithoutTheirZero) {
    SetIdentity("Acme Corp.", "1F3", "ABC01");
    EXPECT_EQ(record->dSaveVeskInfoRegistryData(), 1);
    EXPECT_EQ(winsim::DebugTexts(), Texts{TRACE_SAVE});
    const std::vector<Texts> writes = {
        {"SystemIdHex", "1", "3"}, {"RegulatoryID", "1", "5"}, {"System Manufacturer", "1", "10"}};
    EXPECT_EQ(machine::ValueWrites(), writes);
    EXPECT_EQ(StoredText("SystemIdHex"), "1F3");
    EXPECT_EQ(StoredText("RegulatoryID"), "ABC01");
    EXPECT_EQ(StoredText("System Manufacturer"), "Acme Corp.");
}

TEST_F(SysInfoTest, EmptyTextIsStoredAsZeroBytesAndReadBackEmpty) {
    SetIdentity("", "0", "00000");
    record->dSaveVeskInfoRegistryData();
    const auto stored = winsim::ReadRegistryValue(machine::kSysInfoKey, "System Manufacturer");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, static_cast<unsigned long>(REG_SZ));
    EXPECT_TRUE(stored->data.empty());
    record->dLoadVeskInfoRegistryData();
    EXPECT_STREQ(record->szLoadedManufacturer, "");
    EXPECT_STREQ(record->szLoadedRegulatoryID, "00000");
}

// One write failing neither stops the others nor shows in the trace.
TEST_F(SysInfoTest, EachWriteStandsAlone) {
    struct Case {
        const char* call;
        int occurrence;
        const char* lost;
    };
    for (const Case& c :
         {Case{"RegCreateKeyA", 1, "SystemIdHex"}, Case{"RegSetValueExA", 2, "RegulatoryID"},
          Case{"RegSetValueExA", 3, "System Manufacturer"}}) {
        SCOPED_TRACE(c.lost);
        winsim::Reset();
        SetIdentity("Acme", "1F3", "ABC01");
        winsim::FailCall(c.call, ERROR_ACCESS_DENIED, c.occurrence);
        EXPECT_EQ(record->dSaveVeskInfoRegistryData(), 1);
        EXPECT_EQ(winsim::DebugTexts(), Texts{TRACE_SAVE});
        EXPECT_EQ(StoredText(c.lost), "(absent)");
        EXPECT_EQ(
            winsim::ReadRegistryValue(machine::kSysInfoKey, "SystemIdHex").has_value() +
                winsim::ReadRegistryValue(machine::kSysInfoKey, "RegulatoryID").has_value() +
                winsim::ReadRegistryValue(machine::kSysInfoKey, "System Manufacturer").has_value(),
            2);
    }
}

TEST_F(SysInfoTest, LoadLowerCasesTheCopiesOnlyAndTracesThem) {
    SeedStored("1F3", "ABC01", "Acme Corp.");
    SetIdentity("Acme Corp.", "1F3", "ABC01");
    EXPECT_EQ(record->dLoadVeskInfoRegistryData(), 1);
    EXPECT_STREQ(record->szLoadedSystemIdHex, "1f3");
    EXPECT_STREQ(record->szLoadedRegulatoryID, "abc01");
    EXPECT_STREQ(record->szLoadedManufacturer, "acme corp.");
    const Texts expected = {TRACE_LOAD, "VeskInfo - szManufacturer [acme corp.]",
                            "VeskInfo - szSystemIdHex  [1f3]", "VeskInfo - szRegulatoryID [abc01]"};
    EXPECT_EQ(winsim::DebugTexts(), expected);
    EXPECT_STREQ(record->identity.szManufacturer, "Acme Corp.");
    EXPECT_EQ(StoredText("System Manufacturer"), "Acme Corp.");
    EXPECT_EQ(StoredText("RegulatoryID"), "ABC01");
    const auto queries = winsim::CallsTo("RegQueryValueExA");
    ASSERT_EQ(queries.size(), 3u);
    EXPECT_EQ(queries[0].args[1], "SystemIdHex");
    EXPECT_EQ(queries[1].args[1], "RegulatoryID");
    EXPECT_EQ(queries[2].args[1], "System Manufacturer");
}

TEST_F(SysInfoTest, FailedReadLeavesItsCopyEmpty) {
    SeedStored("1F3", "ABC01", "Acme");
    winsim::DeleteRegistryValue(machine::kSysInfoKey, "RegulatoryID");
    std::strcpy(record->szLoadedRegulatoryID, "earlier");
    record->dLoadVeskInfoRegistryData();
    EXPECT_STREQ(record->szLoadedRegulatoryID, "");
    EXPECT_EQ(winsim::DebugTexts().back(), "VeskInfo - szRegulatoryID []");
    EXPECT_STREQ(record->szLoadedManufacturer, "acme");
}

// The manufacturer is read after the longer regulatory identifier through the same key object.
TEST_F(SysInfoTest, ShortValueReadAfterLongerOneKeepsNoTail) {
    winsim::SeedRegistryValue(machine::kSysInfoKey, "SystemIdHex", REG_BINARY, "0");
    winsim::SeedRegistryValue(machine::kSysInfoKey, "RegulatoryID", REG_BINARY, "00000");
    winsim::SeedRegistryValue(machine::kSysInfoKey, "System Manufacturer", REG_BINARY, "Acme");
    record->dLoadVeskInfoRegistryData();
    EXPECT_STREQ(record->szLoadedManufacturer, "acme");
    EXPECT_STREQ(record->szLoadedSystemIdHex, "0");
}

TEST_F(SysInfoTest, OnlyLettersAToZAreLowerCased) {
    SeedStored("\xC0Z-9@[", "ABC", "\x82\x41\x82\x60Z");
    record->dLoadVeskInfoRegistryData();
    EXPECT_STREQ(record->szLoadedSystemIdHex, "\xC0z-9@[");
    EXPECT_STREQ(record->szLoadedManufacturer, "\x82\x61\x82\x60z"); // single-byte code page

    winsim::SetDoubleByteCodePage(true); // 0x82 leads a double-byte character
    record->dLoadVeskInfoRegistryData();
    EXPECT_STREQ(record->szLoadedManufacturer, "\x82\x41\x82\x60z");
}

} // namespace
