#include "input/StoredValues.h"

#include <cstring>

namespace {

const char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vesk Computer Corporation\\SysInfo";
// Where a 32-bit program's key shows in the 64-bit view; the 32-bit view shows kKey.
const char kWowKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vesk Computer Corporation\\SysInfo";

const RegSection* FindSection(const RegFile& file, const char* key) {
    for (const RegSection& section : file.sections)
        if (EqualNoCase(section.key, key)) return &section;
    return nullptr;
}

// Code units of the file as text in the code page: bytes already in an ANSI export.
bool UnitsToText(const std::u16string& units, RegEncoding encoding, const CodePage& codePage,
                 std::string& text) {
    if (encoding == RegEncoding::Utf16) return codePage.FromUtf16(units, text);
    std::string bytes(units.begin(), units.end());
    if (encoding == RegEncoding::Utf8) return codePage.FromUtf8(bytes, text);
    text = std::move(bytes);
    return true;
}

// A REG_SZ given as hex(1): bytes, UTF-16 in a version 5.00 export, up to the first zero.
bool HexToText(const std::vector<unsigned char>& bytes, RegEncoding encoding,
               const CodePage& codePage, std::string& text) {
    std::u16string units;
    if (encoding == RegEncoding::Ansi) {
        for (size_t i = 0; i < bytes.size() && bytes[i] != 0; ++i)
            units.push_back(bytes[i]);
        return UnitsToText(units, encoding, codePage, text);
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == 0) break;
        units.push_back(unit);
    }
    return codePage.FromUtf16(units, text);
}

void ReadValue(const RegValue& value, RegEncoding encoding, const CodePage& codePage,
               StoredValue& stored) {
    stored.present = true;
    std::u16string units;
    if (DecodeTextValue(value, units)) {
        if (!UnitsToText(units, encoding, codePage, stored.text))
            stored.problem = CodePageProblem(codePage);
        return;
    }
    std::vector<unsigned char> bytes;
    int type = 0;
    std::string error;
    if (!DecodeHexValue(value, bytes, type, error)) {
        stored.problem =
            value.data.rfind(u"=dword:", 0) == 0 ? TypeProblem(kRegDword) : "unreadable: " + error;
    } else if (type != kRegSz) {
        stored.problem = TypeProblem(type);
    } else if (!HexToText(bytes, encoding, codePage, stored.text)) {
        stored.problem = CodePageProblem(codePage);
    }
}

} // namespace

std::string CodePageProblem(const CodePage& codePage) {
    return "holds a character that code page " + std::to_string(codePage.Number()) +
           " cannot represent (the machine's code page may be another: --code-page)";
}

std::string TypeProblem(int type) {
    if (type == kRegDword) return "stored as a DWORD, not as text (REG_SZ)";
    return "stored as registry type " + std::to_string(type) + ", not as text (REG_SZ, type 1)";
}

const char* StoredValueName(IdentityField field) {
    switch (field) {
    case IdentityField::Manufacturer:
        return "System Manufacturer";
    case IdentityField::SystemId:
        return "SystemIdHex";
    case IdentityField::RegulatoryId:
        return "RegulatoryID";
    }
    return "";
}

bool ReadStoredValues(const std::vector<unsigned char>& bytes, const CodePage& codePage,
                      StoredValues& stored, std::string& error) {
    if (!ParseRegFile(bytes, stored.file, error)) return false;
    const RegSection* section = FindSection(stored.file, kWowKey);
    if (section == nullptr) section = FindSection(stored.file, kKey);
    if (section == nullptr) {
        error = std::string("not an export of ") + kKey + " (nor of its WOW6432Node copy)";
        return false;
    }
    stored.key = section->key;
    for (const IdentityField field :
         {IdentityField::Manufacturer, IdentityField::SystemId, IdentityField::RegulatoryId}) {
        const RegValue* value = FindRegValue(*section, StoredValueName(field));
        if (value != nullptr)
            ReadValue(*value, stored.file.encoding, codePage,
                      stored.values[static_cast<int>(field)]);
    }
    return true;
}

void ReadUtf16Value(int type, const std::vector<unsigned char>& data, const CodePage& codePage,
                    StoredValue& stored) {
    stored.present = true;
    if (type != kRegSz)
        stored.problem = TypeProblem(type);
    else if (!HexToText(data, RegEncoding::Utf16, codePage, stored.text))
        stored.problem = CodePageProblem(codePage);
}
