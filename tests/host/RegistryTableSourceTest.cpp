// The registry table source: the SMBIOS copy kept by the driver service, handed over whole.
#include "MachineSetup.h"
#include "smbios/SystemIdentity.h"
#include "smbios/TableBlock.h"

#include <gtest/gtest.h>

#include <new>

namespace {

class RegistryTableSourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        block = AllocateTableBlock(16); // something the source must drop first
        length = 16;
    }
    void TearDown() override {
        block.reset();
        EXPECT_EQ(winsim::OpenRegistryKeyCount(), 0u);
        EXPECT_EQ(winsim::OutstandingHeapBlocks(), 0u);
    }

    TableBlock block;
    int length = 0;
};

TEST_F(RegistryTableSourceTest, MissingKeyAnswersWithoutATable) {
    EXPECT_EQ(GetSMBIOSFromRegistry(block, length), 1);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(length, 0);
}

TEST_F(RegistryTableSourceTest, MissingKeyGivesTheDefaultIdentity) {
    SystemIdentity identity;
    EXPECT_EQ(GetSystemIdentity(&identity), 1);
    EXPECT_STREQ(identity.szManufacturer, "");
    EXPECT_STREQ(identity.szSystemIdHex, "0");
    EXPECT_STREQ(identity.szRegulatoryID, "00000");
}

TEST_F(RegistryTableSourceTest, ReadsTheFixedKeyForReadingOnly) {
    machine::SeedSMBiosTable(machine::AcmeTable());
    ASSERT_EQ(GetSMBIOSFromRegistry(block, length), 1);
    const auto open = winsim::CallsTo("RegOpenKeyExA");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].args,
              (std::vector<std::string>{"HKEY_LOCAL_MACHINE",
                                        "system\\currentcontrolset\\services\\mssmbios\\data", "0",
                                        "0x20019"}));
    const auto queries = winsim::CallsTo("RegQueryValueExA");
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].args[1], "SMBiosData");
    EXPECT_EQ(queries[0].args[2], "(null)"); // the size first
}

// Every byte from the first on, whatever the value's type, including a header that is not a
// structure.
TEST_F(RegistryTableSourceTest, HandsTheValueOverUnchanged) {
    std::vector<BYTE> bytes = {0x00, 0x02, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00};
    for (int i = 0; i < 1000; ++i)
        bytes.push_back(static_cast<BYTE>(i * 37 + 11));
    for (unsigned long type : {REG_BINARY, REG_SZ, REG_NONE}) {
        SCOPED_TRACE(type);
        machine::SeedSMBiosTable(bytes, type);
        ASSERT_EQ(GetSMBIOSFromRegistry(block, length), 1);
        ASSERT_NE(block, nullptr);
        ASSERT_EQ(length, static_cast<int>(bytes.size()));
        EXPECT_EQ(std::vector<BYTE>(block.get(), block.get() + length), bytes);
    }
}

struct FailureCase {
    const char* name;
    bool valuePresent;
    std::vector<BYTE> value;
    const char* failingCall;
    int occurrence;
};

class RegistryTableSourceFailureTest : public RegistryTableSourceTest,
                                       public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RegistryTableSourceFailureTest, FailsWithNoBlockAndTheKeyClosed) {
    const FailureCase& c = GetParam();
    winsim::SeedRegistryKey(machine::kSMBiosKey);
    if (c.valuePresent) machine::SeedSMBiosTable(c.value);
    if (c.failingCall) winsim::FailCall(c.failingCall, ERROR_ACCESS_DENIED, c.occurrence);
    EXPECT_EQ(GetSMBIOSFromRegistry(block, length), 0);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(length, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryTableSourceFailureTest,
    ::testing::Values(FailureCase{"ValueAbsent", false, {}, nullptr, 0},
                      FailureCase{"ValueEmpty", true, {}, nullptr, 0},
                      FailureCase{
                          "SizeQueryFails", true, {1, 4, 0, 0, 0, 0}, "RegQueryValueExA", 1},
                      FailureCase{"ReadFails", true, {1, 4, 0, 0, 0, 0}, "RegQueryValueExA", 2}),
    [](const ::testing::TestParamInfo<FailureCase>& param) { return param.param.name; });

TEST_F(RegistryTableSourceTest, EmptyValueLeavesTheIdentityEmpty) {
    machine::SeedSMBiosTable({});
    SystemIdentity identity;
    EXPECT_EQ(GetSystemIdentity(&identity), 0);
    EXPECT_STREQ(identity.szSystemIdHex, "");
    EXPECT_STREQ(identity.szRegulatoryID, "");
}

TEST_F(RegistryTableSourceTest, OutOfMemoryLeavesTheSourceWithTheKeyClosed) {
    machine::SeedSMBiosTable(machine::AcmeTable());
    winsim::FailCall("HeapAlloc", 0);
    EXPECT_THROW(GetSMBIOSFromRegistry(block, length), std::bad_alloc);
    EXPECT_EQ(block, nullptr);
}

} // namespace
