// CRegistryKey against the stand-in's registry: what is written, what is read back, and that
// every key is closed on every path.
#include "store/RegistryKey.h"
#include "control.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstring>
#include <new>
#include <string>

namespace {

constexpr char kKey[] = "SOFTWARE\\Vesk Computer Corporation\\SysInfo";
const std::string kKeyPath = std::string("HKLM\\") + kKey;

class RegistryKeyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        std::strcpy(out, "untouched");
    }
    void TearDown() override { EXPECT_EQ(winsim::OpenRegistryKeyCount(), 0u); }

    int Write(const char* value, const std::string& text) {
        char field[kIdentityTextSize] = {}; // the record's fields are zero-padded like this
        std::memcpy(field, text.data(), text.size());
        return key.WriteString(HKEY_LOCAL_MACHINE, kKey, value, field);
    }
    int Read(const char* value) { return key.ReadString(HKEY_LOCAL_MACHINE, kKey, value, out); }
    void Seed(const char* value, unsigned long type, const std::string& bytes) {
        winsim::SeedRegistryValue(kKeyPath, value, type, bytes);
    }
    std::string Stored(const char* value) {
        auto stored = winsim::ReadRegistryValue(kKeyPath, value);
        return stored ? std::string(stored->data.begin(), stored->data.end()) : "(absent)";
    }

    CRegistryKey key;
    char out[kIdentityTextSize];
};

TEST_F(RegistryKeyTest, WriteCreatesTheKeyWithItsParents) {
    ASSERT_FALSE(winsim::RegistryKeyExists("HKLM\\SOFTWARE\\Vesk Computer Corporation"));
    EXPECT_EQ(Write("RegulatoryID", "ABC01"), 1);
    EXPECT_TRUE(winsim::RegistryKeyExists(kKeyPath));
    const auto stored = winsim::ReadRegistryValue(kKeyPath, "RegulatoryID");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, static_cast<unsigned long>(REG_SZ));
    const auto create = winsim::CallsTo("RegCreateKeyA");
    ASSERT_EQ(create.size(), 1u);
    EXPECT_EQ(create[0].args, (std::vector<std::string>{"HKEY_LOCAL_MACHINE", kKey}));
    EXPECT_EQ(winsim::CallsTo("RegCloseKey").size(), 1u);
}

// The count handed to the registry leaves the terminating zero out; Windows NT, seeing a zero
// right after the data, stores it anyway.
TEST_F(RegistryKeyTest, CountPassedIsTheTextLengthAndTheTextRoundTrips) {
    for (const std::string& text :
         {std::string(), std::string("A"), std::string("Acme Corp."), std::string(259, 'x')}) {
        SCOPED_TRACE(text.size());
        winsim::ClearCalls();
        ASSERT_EQ(Write("System Manufacturer", text), 1);
        const auto set = winsim::CallsTo("RegSetValueExA");
        ASSERT_EQ(set.size(), 1u);
        EXPECT_EQ(set[0].args[1], "System Manufacturer");
        EXPECT_EQ(set[0].args[3], std::to_string(REG_SZ));
        EXPECT_EQ(set[0].args[4], std::to_string(text.size()));
        EXPECT_EQ(Stored("System Manufacturer"), text.empty() ? "" : text + '\0');
        ASSERT_EQ(Read("System Manufacturer"), 1);
        EXPECT_EQ(std::string(out), text);
    }
}

TEST_F(RegistryKeyTest, ExistingValueIsOverwritten) {
    Seed("SystemIdHex", REG_BINARY, "FFFFFFFFFFFF");
    EXPECT_EQ(Write("SystemIdHex", "1F3"), 1);
    EXPECT_EQ(Stored("SystemIdHex"), std::string("1F3\0", 4));
    EXPECT_EQ(winsim::ReadRegistryValue(kKeyPath, "SystemIdHex")->type,
              static_cast<unsigned long>(REG_SZ));
}

TEST_F(RegistryKeyTest, ReadOpensWithTheFixedAccessMaskAndNoViewFlag) {
    Seed("SystemIdHex", REG_SZ, "1F3");
    ASSERT_EQ(Read("SystemIdHex"), 1);
    const auto open = winsim::CallsTo("RegOpenKeyExA");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].args, (std::vector<std::string>{"HKEY_LOCAL_MACHINE", kKey, "0", "0x2001F"}));
    EXPECT_EQ(winsim::CallsTo("RegQueryValueExA")[0].args[3], "260");
    EXPECT_EQ(winsim::CallsTo("RegCloseKey").size(), 1u);
}

// Each registry call failing in turn: the operation reports 0, a read leaves `out` as it was,
// and the key (where one was opened) is still closed (checked in TearDown).
struct FailureCase {
    const char* name;
    const char* call;
    bool write;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.call;
}

class RegistryKeyFailureTest : public RegistryKeyTest,
                               public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RegistryKeyFailureTest, FailedCallGivesZeroAndClosesTheKey) {
    const FailureCase& c = GetParam();
    Seed("RegulatoryID", REG_SZ, "R-77");
    winsim::FailCall(c.call, ERROR_ACCESS_DENIED);
    EXPECT_EQ(c.write ? Write("RegulatoryID", "X") : Read("RegulatoryID"), 0);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(Stored("RegulatoryID"), "R-77");
}

TEST_P(RegistryKeyFailureTest, ThrowingCallStillClosesTheKey) {
    const FailureCase& c = GetParam();
    Seed("RegulatoryID", REG_SZ, "R-77");
    winsim::ThrowInCall(c.call);
    EXPECT_THROW(c.write ? Write("RegulatoryID", "X") : Read("RegulatoryID"), std::bad_alloc);
    EXPECT_STREQ(out, "untouched");
}

INSTANTIATE_TEST_SUITE_P(Calls, RegistryKeyFailureTest,
                         ::testing::Values(FailureCase{"Create", "RegCreateKeyA", true},
                                           FailureCase{"SetValue", "RegSetValueExA", true},
                                           FailureCase{"Open", "RegOpenKeyExA", false},
                                           FailureCase{"Query", "RegQueryValueExA", false}),
                         [](const ::testing::TestParamInfo<FailureCase>& param) {
                             return param.param.name;
                         });

TEST_F(RegistryKeyTest, MissingKeyOrValueIsAFailedRead) {
    EXPECT_EQ(Read("RegulatoryID"), 0);
    winsim::SeedRegistryKey(kKeyPath);
    EXPECT_EQ(Read("RegulatoryID"), 0);
    EXPECT_STREQ(out, "untouched");
}

// Values of another type carry no zero of their own and get none appended, so whatever an
// earlier, longer read left in the shared buffer must not come back with them.
TEST_F(RegistryKeyTest, ShorterValueAfterLongerOneBringsNoStaleTail) {
    Seed("RegulatoryID", REG_BINARY, "00000");
    Seed("System Manufacturer", REG_BINARY, "Acme");
    ASSERT_EQ(Read("RegulatoryID"), 1);
    EXPECT_STREQ(out, "00000");
    ASSERT_EQ(Read("System Manufacturer"), 1);
    EXPECT_STREQ(out, "Acme");
    Seed("SystemIdHex", REG_BINARY, "");
    ASSERT_EQ(Read("SystemIdHex"), 1);
    EXPECT_STREQ(out, "");
}

struct SizeCase {
    const char* name;
    unsigned long type;
    std::string bytes;
    int result;
    std::string text; // what a successful read gives
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.name;
}

class RegistryKeySizeTest : public RegistryKeyTest,
                            public ::testing::WithParamInterface<SizeCase> {};

TEST_P(RegistryKeySizeTest, OnlyTextThatFitsTheFieldIsRead) {
    const SizeCase& c = GetParam();
    Seed("System Manufacturer", c.type, c.bytes);
    EXPECT_EQ(Read("System Manufacturer"), c.result);
    EXPECT_EQ(std::string(out), c.result ? c.text : "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RegistryKeySizeTest,
    ::testing::Values(SizeCase{"Binary259", REG_BINARY, std::string(259, 'x'), 1,
                               std::string(259, 'x')},
                      SizeCase{"Binary260", REG_BINARY, std::string(260, 'x'), 0, ""},
                      SizeCase{"String260", REG_SZ, std::string(260, 'x'), 0, ""},
                      SizeCase{"String261", REG_SZ, std::string(261, 'x'), 0, ""},
                      SizeCase{"Binary4000", REG_BINARY, std::string(4000, 'x'), 0, ""},
                      SizeCase{"String259WithZero", REG_SZ, std::string(259, 'x') + '\0', 1,
                               std::string(259, 'x')},
                      SizeCase{"EmbeddedZero", REG_BINARY, std::string("AB\0CD", 5), 1, "AB"}),
    [](const ::testing::TestParamInfo<SizeCase>& param) { return param.param.name; });

} // namespace
