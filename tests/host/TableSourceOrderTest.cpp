// The extraction asks the management-instrumentation source first and the registry copy only
// when that fails, whatever the stage of the failure.
#include "MachineSetup.h"
#include "WMITestSupport.h"

#include "pure/WalkOutcome.h"

#include <gtest/gtest.h>

namespace {

Outcome Extract() {
    SystemIdentity identity;
    const int result = GetSystemIdentity(&identity);
    return OutcomeOf(result, identity);
}

const Outcome kAcme = {1, "Acme Corp.", "1F3", "ABC01"};

class SourceOrderTest : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
    void TearDown() override {
        EXPECT_EQ(winsim::OpenRegistryKeyCount(), 0u);
        wmitest::ExpectNothingLeft();
    }
};

TEST_F(SourceOrderTest, WmiTableWinsAndTheRegistryIsNotAsked) {
    winsim::SetWmiProperty("SMBiosData",
                           winsim::WmiByteArray(TableBuilder().System(1, {"Wmi"}).Bytes()));
    machine::SeedSMBiosTable(machine::AcmeTable());
    EXPECT_EQ(Extract(), (Outcome{1, "Wmi", "0", "00000"}));
    EXPECT_TRUE(winsim::CallsTo("RegOpenKeyExA").empty());
}

struct WmiFailure {
    const char* name;
    void (*arrange)();
};

class WmiFailureTest : public SourceOrderTest, public ::testing::WithParamInterface<WmiFailure> {};

TEST_P(WmiFailureTest, RegistryCopyIsTaken) {
    GetParam().arrange();
    machine::SeedSMBiosTable(machine::AcmeTable());
    EXPECT_EQ(Extract(), kAcme);
}

const WmiFailure kWmiFailures[] = {
    {"NoLocator", [] { winsim::SetWmiResult(winsim::WmiStage::CoCreateInstance, 0x80040154); }},
    {"NoConnection", [] { winsim::SetWmiResult(winsim::WmiStage::ConnectServer, 0x8004100E); }},
    {"NoBlanket", [] { winsim::SetWmiResult(winsim::WmiStage::CoSetProxyBlanket, E_FAIL); }},
    {"EnumSuccessButNotOk", [] { winsim::SetWmiResult(winsim::WmiStage::CreateInstanceEnum, 1); }},
    {"NoInstance", [] { winsim::SetWmiInstanceCount(0); }},
    {"DataIsNull", [] {}}, // what Wine answers where the machine has no firmware tables
    {"DataIsText", [] { winsim::SetWmiProperty("SMBiosData", winsim::WmiText("x")); }},
    {"EmptyArray", [] { winsim::SetWmiProperty("SMBiosData", winsim::WmiByteArray({})); }},
    {"GetFails", [] { winsim::SetWmiGetResult("SMBiosData", 0x80041002); }},
    {"ThrowInConnect", [] { winsim::ThrowInCall("SysAllocString", 1); }},
    {"ThrowInCopy",
     [] {
         winsim::SetWmiProperty("SMBiosData", winsim::WmiByteArray({1, 2, 3}));
         winsim::FailCall("HeapAlloc", 0, 1);
     }},
};
INSTANTIATE_TEST_SUITE_P(Stages, WmiFailureTest, ::testing::ValuesIn(kWmiFailures),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(SourceOrderTest, RegistryKeyAbsentGivesTheDefaults) {
    EXPECT_EQ(Extract(), (Outcome{1, "", "0", "00000"}));
}

TEST_F(SourceOrderTest, RegistryValueAbsentMeansNoSourceAnswered) {
    winsim::SeedRegistryKey(machine::kSMBiosKey);
    EXPECT_EQ(Extract(), (Outcome{0, "", "", ""}));
}

} // namespace
