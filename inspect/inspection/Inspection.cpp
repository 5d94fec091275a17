#include "inspection/Inspection.h"

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
