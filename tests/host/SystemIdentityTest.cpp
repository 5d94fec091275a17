// GetSystemIdentity: the order of the table sources and the fall-backs around the walk.
#include "smbios/SystemIdentity.h"
#include "control.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SystemIdentityTest, NoFieldsGiveFailure) {
    winsim::Reset();
    EXPECT_EQ(GetSystemIdentity(nullptr), 0);
}

TEST(SystemIdentityTest, NoSourceAnsweringLeavesTheFieldsEmpty) {
    winsim::Reset();
    // The registry source fails only when its key is there without the value.
    winsim::SeedRegistryKey("HKLM\\system\\currentcontrolset\\services\\mssmbios\\data");
    SystemIdentity identity;
    std::memset(&identity, 'x', sizeof identity);
    EXPECT_EQ(GetSystemIdentity(&identity), 0);
    EXPECT_STREQ(identity.szManufacturer, "");
    EXPECT_STREQ(identity.szSystemIdHex, "");
    EXPECT_STREQ(identity.szRegulatoryID, "");
    EXPECT_EQ(winsim::OutstandingHeapBlocks(), 0u);
}

} // namespace
