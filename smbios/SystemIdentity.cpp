// Turns the walk's candidates into the three identity texts, and drives one extraction: ask
// the table sources in order, walk the table, release it, apply the fall-backs.
#include "smbios/SystemIdentity.h"

#include "smbios/TableBlock.h"
#include "smbios/WalkObserver.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

void CopyText(char* out, size_t size, const char* text, size_t textSize) {
    size_t count = strnlen(text, textSize);
    if (count > size - 1) count = size - 1;
    std::memcpy(out, text, count);
    out[count] = '\0';
}

template <size_t OutSize, size_t TextSize>
void CopyText(char (&out)[OutSize], const char (&text)[TextSize]) {
    CopyText(out, OutSize, text, TextSize);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

// Reads the number the way a "%X" scan does (blanks, sign, optional 0x, digits), keeping the
// low 32 bits, so that every C runtime gives the same text.
bool NormaliseHexText(char* text, size_t size) {
    const char* p = text;
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
    if (HexDigit(*p) < 0) return false;
    uint32_t value = 0;
    for (; HexDigit(*p) >= 0; ++p)
        value = value * 16u + static_cast<uint32_t>(HexDigit(*p));
    if (negative) value = 0u - value;
    std::snprintf(text, size, "%X", static_cast<unsigned>(value));
    return true;
}

namespace {

ValueSource FinaliseManufacturer(const IdentityCandidates& candidates, SystemIdentity& identity) {
    CopyText(identity.szManufacturer, candidates.manufacturer);
    return candidates.manufacturer[0] != '\0' ? ValueSource::ManufacturerString
                                              : ValueSource::Fallback;
}

ValueSource FinaliseSystemId(const IdentityCandidates& candidates, SystemIdentity& identity) {
    if (candidates.oemSystemId[0] != '\0') {
        char text[kCandidateIdSize];
        CopyText(text, candidates.oemSystemId);
        NormaliseHexText(text, sizeof text);
        CopyText(identity.szSystemIdHex, text);
        return ValueSource::OemSystemId;
    }
    if (candidates.systemId208[0] != '\0') {
        CopyText(identity.szSystemIdHex, candidates.systemId208);
        return ValueSource::Type208;
    }
    CopyText(identity.szSystemIdHex, kSystemIdFallback);
    return ValueSource::Fallback;
}

ValueSource FinaliseRegulatoryId(const IdentityCandidates& candidates, SystemIdentity& identity) {
    if (candidates.regulatory[0] != '\0') {
        CopyText(identity.szRegulatoryID, candidates.regulatory);
        return ValueSource::OemRegulatoryId;
    }
    CopyText(identity.szRegulatoryID, kRegulatoryIdFallback);
    return ValueSource::Fallback;
}

} // namespace

void FinaliseIdentity(const IdentityCandidates& candidates, SystemIdentity& identity,
                      WalkObserver* observer) {
    const ValueSource manufacturer = FinaliseManufacturer(candidates, identity);
    const ValueSource systemId = FinaliseSystemId(candidates, identity);
    const ValueSource regulatory = FinaliseRegulatoryId(candidates, identity);
    if (observer == nullptr) return;
    observer->OnValue(IdentityField::Manufacturer, manufacturer, identity.szManufacturer);
    observer->OnValue(IdentityField::SystemId, systemId, identity.szSystemIdHex);
    observer->OnValue(IdentityField::RegulatoryId, regulatory, identity.szRegulatoryID);
}

int GetSystemIdentity(SystemIdentity* fields) {
    IdentityCandidates candidates = {};
    if (fields == nullptr) return 0;
    fields->szManufacturer[0] = '\0';
    fields->szSystemIdHex[0] = '\0';
    fields->szRegulatoryID[0] = '\0';

    TableBlock block;
    int length = 0;
    if (!GetSMBIOSFromWMI(block, length) && !GetSMBIOSFromRegistry(block, length)) return 0;

    int result = 1;
    if (block) {
        try {
            result = WalkSMBiosTable(block.get(), length, candidates);
        } catch (...) {
            result = 0; // any failure raised in the walk ends it: keep what was gathered
        }
    }
    block.reset();
    FinaliseIdentity(candidates, *fields);
    return result;
}
