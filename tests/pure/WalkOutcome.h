// What a test compares after an identity extraction: the result and the three texts.
#pragma once
#include "smbios/SystemIdentity.h"
#include "smbios/WalkObserver.h"

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

struct Outcome {
    int result;
    std::string manufacturer, systemId, regulatory;
    bool operator==(const Outcome& o) const {
        return result == o.result && manufacturer == o.manufacturer && systemId == o.systemId &&
               regulatory == o.regulatory;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "{" << o.result << ", [" << o.manufacturer << "], [" << o.systemId << "], ["
              << o.regulatory << "]}";
}

inline Outcome OutcomeOf(int result, const SystemIdentity& identity) {
    return {result, identity.szManufacturer, identity.szSystemIdHex, identity.szRegulatoryID};
}

// Walks and finalises `table`. The walk gets a copy of exactly the table's bytes, so that
// sanitizers catch any read past its end, and the record starts filled with 'x', so that a text
// the finalisation leaves unset shows.
inline Outcome Identify(const std::vector<BYTE>& table, WalkObserver* observer = nullptr) {
    IdentityCandidates candidates = {};
    std::unique_ptr<BYTE[]> exact(new BYTE[table.size() ? table.size() : 1]);
    if (!table.empty()) std::memcpy(exact.get(), table.data(), table.size());
    const int result =
        WalkSMBiosTable(exact.get(), static_cast<int>(table.size()), candidates, observer);
    SystemIdentity identity;
    std::memset(&identity, 'x', sizeof identity);
    FinaliseIdentity(candidates, identity, observer);
    return OutcomeOf(result, identity);
}
