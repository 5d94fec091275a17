// One run of VeskInfo's walk and finalisation over a table, with everything the walk reported
// on the way.
#pragma once
#include "smbios/SystemIdentity.h"
#include "smbios/WalkObserver.h"

#include <string>
#include <vector>

struct Inspection {
    struct Structure {
        int offset, type, length, handle; // handle -1: not within the structure
    };
    struct String {
        int offset, type, number;
        std::string text;
    };
    struct Candidate {
        ValueSource source;
        int offset, number;
        std::string text;
    };
    struct Anomaly {
        WalkAnomaly kind;
        int offset, number;
    };
    struct Value {
        ValueSource source;
        std::string text;
    };

    int result = 1; // VeskInfo's walk result: 1 completed, 0 cut short
    bool outOfMemory = false;
    SystemIdentity identity = {};
    std::vector<Structure> structures;
    std::vector<String> strings; // of the type-1 and type-11 structures, in walk order
    std::vector<Candidate> candidates;
    std::vector<Anomaly> anomalies;
    Value values[3]; // by IdentityField

    const Value& ValueOf(IdentityField field) const { return values[static_cast<int>(field)]; }
    // The candidate the finalisation used for `field`, or null for a fall-back.
    const Candidate* Chosen(IdentityField field) const;
    // The string `number` of the structure at `offset`, or null.
    const String* StringAt(int offset, int number) const;
    // The structure at `offset`, or null.
    const Structure* StructureAt(int offset) const;
};

// Walks `length` bytes from `table` and finalises the values exactly as VeskInfo does with a
// table source's block.
Inspection Inspect(const unsigned char* table, size_t length);
inline Inspection Inspect(const std::vector<unsigned char>& table) {
    return Inspect(table.data(), table.size());
}

extern const IdentityField kFields[3]; // in the order VeskInfo fills them

// The stored text of `field`.
const char* ValueText(const Inspection& inspection, IdentityField field);

// The type-1 structure VeskInfo took the manufacturer from, else the first one walked; null
// where the walk met none.
const Inspection::Structure* SystemStructure(const Inspection& inspection);

// The 16 bytes of that structure's UUID in `table` (the bytes walked), as the table stores them.
// False where the structure or the table is too short for them, or they are all 0x00 or all
// 0xFF: no UUID.
bool SystemUuid(const Inspection& inspection, const unsigned char* table, size_t length,
                unsigned char (&uuid)[16]);
