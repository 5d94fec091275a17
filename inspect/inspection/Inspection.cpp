#include "inspection/Inspection.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

class Recorder : public WalkObserver {
  public:
    explicit Recorder(Inspection& inspection) : m_inspection(inspection) {}

    void OnStructure(int offset, int type, int length, int handle) override {
        m_inspection.structures.push_back({offset, type, length, handle});
        m_type = type;
    }
    void OnString(int offset, int number, const char* text) override {
        m_inspection.strings.push_back({offset, m_type, number, text});
    }
    void OnCandidate(ValueSource source, int offset, int number, const char* text) override {
        m_inspection.candidates.push_back({source, offset, number, text});
    }
    void OnAnomaly(WalkAnomaly anomaly, int offset, int number) override {
        m_inspection.anomalies.push_back({anomaly, offset, number});
    }
    void OnValue(IdentityField field, ValueSource source, const char* text) override {
        m_inspection.values[static_cast<int>(field)] = {source, text};
    }

  private:
    Inspection& m_inspection;
    int m_type = 0;
};

} // namespace

const Inspection::Candidate* Inspection::Chosen(IdentityField field) const {
    const ValueSource source = ValueOf(field).source;
    if (source == ValueSource::Fallback) return nullptr;
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it)
        if (it->source == source) return &*it;
    return nullptr;
}

const Inspection::String* Inspection::StringAt(int offset, int number) const {
    for (const String& string : strings)
        if (string.offset == offset && string.number == number) return &string;
    return nullptr;
}

const Inspection::Structure* Inspection::StructureAt(int offset) const {
    for (const Structure& structure : structures)
        if (structure.offset == offset) return &structure;
    return nullptr;
}

Inspection Inspect(const unsigned char* table, size_t length) {
    Inspection inspection;
    Recorder recorder(inspection);
    IdentityCandidates candidates = {};
    try {
        inspection.result = WalkSMBiosTable(table, static_cast<int>(length), candidates, &recorder);
    } catch (const std::bad_alloc&) {
        // As in the program: the walk ends, and what was gathered is still finalised.
        inspection.result = 0;
        inspection.outOfMemory = true;
    }
    FinaliseIdentity(candidates, inspection.identity, &recorder);
    return inspection;
}

const IdentityField kFields[3] = {IdentityField::Manufacturer, IdentityField::SystemId,
                                  IdentityField::RegulatoryId};

const char* ValueText(const Inspection& inspection, IdentityField field) {
    switch (field) {
    case IdentityField::Manufacturer:
        return inspection.identity.szManufacturer;
    case IdentityField::SystemId:
        return inspection.identity.szSystemIdHex;
    case IdentityField::RegulatoryId:
        return inspection.identity.szRegulatoryID;
    }
    return "";
}

const Inspection::Structure* SystemStructure(const Inspection& inspection) {
    if (const Inspection::Candidate* chosen = inspection.Chosen(IdentityField::Manufacturer))
        if (const Inspection::Structure* structure = inspection.StructureAt(chosen->offset))
            return structure;
    for (const Inspection::Structure& structure : inspection.structures)
        if (structure.type == 1) return &structure;
    return nullptr;
}

bool SystemUuid(const Inspection& inspection, const unsigned char* table, size_t length,
                unsigned char (&uuid)[16]) {
    constexpr int kUuidAt = 8, kUuidSize = 16; // in the type-1 structure
    const Inspection::Structure* structure = SystemStructure(inspection);
    if (structure == nullptr || table == nullptr || structure->length < kUuidAt + kUuidSize)
        return false;
    const size_t at = static_cast<size_t>(structure->offset) + kUuidAt;
    if (at > length || length - at < kUuidSize) return false;
    const unsigned char* bytes = table + at;
    if (std::all_of(bytes, bytes + kUuidSize, [](unsigned char b) { return b == 0; }) ||
        std::all_of(bytes, bytes + kUuidSize, [](unsigned char b) { return b == 0xFF; }))
        return false;
    std::memcpy(uuid, bytes, kUuidSize);
    return true;
}
