// The repair's refusal: which stored values a run of VeskInfo would make worse, for the values
// stored and the values this machine's table now gives.
#include "inspection/Audit.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Case {
    const char* name;
    const char* stored[3]; // null: absent; "?": present but no text
    const char* now[3];    // what VeskInfo would now store
    const char* refused;   // the values named in the refusal; null: VeskInfo may run
};

const char kVesk[] = "Vesk Computer Corporation";

const Case kCases[] = {
    {"the OEM strings dropped by a firmware update",
     {kVesk, "A47", "VCC-D7400"},
     {kVesk, "0", "00000"},
     "SystemIdHex, RegulatoryID"},
    {"only the system identifier lost",
     {kVesk, "A47", "VCC-D7400"},
     {kVesk, "0", "VCC-D7400"},
     "SystemIdHex"},
    {"an unprogrammed board: no maker either",
     {kVesk, "A47", "VCC-D7400"},
     {"", "0", "00000"},
     "System Manufacturer, SystemIdHex, RegulatoryID"},
    {"a board swap to other real values",
     {kVesk, "A47", "VCC-D7400"},
     {"Quarry Lane Systems", "1F", "VCC-D7600"},
     nullptr},
    {"nothing stored yet", {nullptr, nullptr, nullptr}, {"", "0", "00000"}, nullptr},
    {"fall-backs stored already", {"Old Maker", "0", "00000"}, {kVesk, "0", "00000"}, nullptr},
    {"a stored value that is no text",
     {kVesk, "?", "VCC-D7400"},
     {kVesk, "0", "VCC-D7400"},
     nullptr},
    {"an empty stored maker", {"", "A47", "VCC-D7400"}, {"", "A47", "VCC-D7400"}, nullptr},
};

TEST(RepairRule, RefusesOnlyWhereARealValueWouldBeLost) {
    for (const Case& c : kCases) {
        StoredValues stored;
        Inspection now;
        char* texts[3] = {now.identity.szManufacturer, now.identity.szSystemIdHex,
                          now.identity.szRegulatoryID};
        for (int i = 0; i < 3; ++i) {
            std::strcpy(texts[i], c.now[i]);
            StoredValue& value = stored.values[i];
            value.present = c.stored[i] != nullptr;
            if (value.present && std::strcmp(c.stored[i], "?") == 0)
                value.problem = "a REG_DWORD value";
            else if (value.present)
                value.text = c.stored[i];
        }
        const std::string reason = WorseIdentity(stored, now);
        if (c.refused == nullptr) {
            EXPECT_EQ(reason, "") << c.name;
            continue;
        }
        EXPECT_NE(reason.find(std::string("gives no ") + c.refused + ", so"), std::string::npos)
            << c.name << ": " << reason;
        EXPECT_NE(reason.find("nothing was changed"), std::string::npos) << c.name;
    }
}

} // namespace
