// The repair's refusal: which stored values a run of VeskInfo would make worse.
#include "inspection/Audit.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Case {
    const char* stored[3]; // null: absent; "?": present but no text
    const char* now[3];    // what VeskInfo would now store
    const char* refused;   // the values the refusal names; null: VeskInfo may run
};

const char kVesk[] = "Vesk Computer Corporation";

TEST(RepairRule, RefusesOnlyWhereARealValueWouldBeLost) {
    const Case cases[] = {
        {{kVesk, "A47", "VCC-D7400"}, {kVesk, "0", "VCC-D7400"}, "SystemIdHex"},
        {{kVesk, "A47", "VCC-D7400"},
         {"", "0", "00000"},
         "System Manufacturer, SystemIdHex, RegulatoryID"}, // an unprogrammed board
        {{kVesk, "A47", "VCC-D7400"}, {"Quarry Lane Systems", "1F", "VCC-D7600"}, nullptr},
        {{nullptr, nullptr, nullptr}, {"", "0", "00000"}, nullptr},
        {{"Old Maker", "0", "00000"}, {kVesk, "0", "00000"}, nullptr},
        {{kVesk, "?", ""}, {kVesk, "0", "00000"}, nullptr},
    };
    for (const Case& c : cases) {
        StoredValues stored;
        Inspection now;
        std::strcpy(now.identity.szManufacturer, c.now[0]);
        std::strcpy(now.identity.szSystemIdHex, c.now[1]);
        std::strcpy(now.identity.szRegulatoryID, c.now[2]);
        for (int i = 0; i < 3; ++i) {
            stored.values[i].present = c.stored[i] != nullptr;
            if (c.stored[i] != nullptr && std::strcmp(c.stored[i], "?") == 0)
                stored.values[i].problem = "a REG_DWORD value";
            else if (c.stored[i] != nullptr)
                stored.values[i].text = c.stored[i];
        }
        const std::string reason = WorseIdentity(stored, now), name = c.now[1];
        if (c.refused == nullptr)
            EXPECT_EQ(reason, "") << name;
        else
            EXPECT_NE(reason.find(std::string("gives no ") + c.refused + ", so"), std::string::npos)
                << reason;
    }
}

} // namespace
