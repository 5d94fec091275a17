#include "report/Probe.h"

#include "Version.h"
#include "report/JsonLine.h"
#include "report/Report.h"

#include <algorithm>
#include <cstdint>

namespace {

// Where the texts of a line are, so that one length can cut them all.
enum Text {
    kMachine,
    kError,
    kStored,
    kExpected = kStored + 3,
    kModel = kExpected + 3,
    kSerial = kModel + 4,
    kTexts
};

const char* const kModelFields[4] = {"manufacturer", "product", "family", "sku"};
// The bytes of a type-1 structure that number its manufacturer, product name, SKU and family.
const int kModelBytes[4] = {4, 5, 26, 25};
// The type-1 byte that numbers the serial number.
constexpr int kSerialByte = 7;
// From this SMBIOS version on, the UUID's first three fields are stored little-endian.
constexpr int kLittleEndianUuid = 2 << 8 | 6;

// The line's texts: bytes, but for the machine's name and the error, which are UTF-8.
struct Texts {
    std::string text[kTexts];
    bool present[kTexts] = {};
    std::string uuid; // empty: none

    void Set(int at, const std::string& value) {
        // Nothing longer than a whole line can show: a byte more than that is cut all the same.
        text[at] = value.substr(0, kProbeLineLimit + 1);
        present[at] = true;
    }
    void Write(JsonLine& json, int at, size_t cap) const {
        if (!present[at])
            json.Null();
        else if (at == kMachine || at == kError)
            json.Utf8(text[at], std::min(cap, kProbeLineLimit));
        else
            json.Text(text[at], std::min(cap, kProbeLineLimit));
    }
};

// The string that byte `byte` of the structure numbers, or null where the structure or the
// table is too short for that byte, the byte is 0 or the walk read no such string.
const Inspection::String* StringOf(const ProbeSubject& subject,
                                   const Inspection::Structure& structure, int byte) {
    const size_t at = static_cast<size_t>(structure.offset) + static_cast<size_t>(byte);
    if (byte >= structure.length || at >= subject.length) return nullptr;
    const int number = subject.table[at];
    return number > 0 ? subject.expected->StringAt(structure.offset, number) : nullptr;
}

// The UUID as Windows prints it, upper case 8-4-4-4-12; empty where there is none. Where the
// stated version is older than the one that made the first three fields little-endian, every
// byte is in order.
std::string Uuid(const ProbeSubject& subject) {
    unsigned char bytes[16];
    if (!SystemUuid(*subject.expected, subject.table, subject.length, bytes)) return "";
    static const int kLittle[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    const bool little = subject.version == 0 || subject.version >= kLittleEndianUuid;
    std::string text;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        const unsigned byte = bytes[little ? kLittle[i] : i];
        text += "0123456789ABCDEF"[byte >> 4];
        text += "0123456789ABCDEF"[byte & 0xF];
    }
    return text;
}

// The model's and the unit's texts, from the same structure. Returns false where no type-1
// structure was walked.
bool ReadModel(const ProbeSubject& subject, Texts& texts) {
    const Inspection::Structure* structure = SystemStructure(*subject.expected);
    if (structure == nullptr || subject.table == nullptr) return false;
    for (int i = 0; i < 4; ++i)
        if (const Inspection::String* string = StringOf(subject, *structure, kModelBytes[i]))
            texts.Set(kModel + i, string->text);
    if (const Inspection::String* serial = StringOf(subject, *structure, kSerialByte))
        texts.Set(kSerial, serial->text);
    texts.uuid = Uuid(subject);
    return true;
}

void WriteValues(JsonLine& json, const Texts& texts, int first, size_t cap) {
    json.Open();
    for (const IdentityField field : kFields)
        texts.Write(json.Key(JsonFieldName(field)), first + static_cast<int>(field), cap);
    json.Close();
}

void WriteLastBoard(JsonLine& json, const ProbeSubject& subject) {
    if (subject.lastBoardUuid.empty()) {
        json.Null();
        return;
    }
    json.Open().Key("uuid").Name(subject.lastBoardUuid.c_str()).Key("last_use");
    subject.lastBoardLastUse.empty() ? json.Null() : json.Name(subject.lastBoardLastUse.c_str());
    json.Close();
}

// The line with every text cut after `cap` bytes.
std::string Line(const ProbeSubject& subject, const Texts& texts, bool haveModel, size_t cap) {
    std::string line;
    JsonLine json(line);
    json.Open().Key("probe").Number(kProbeSchema);
    texts.Write(json.Key("machine"), kMachine, cap);
    json.Key("status").Name(ProbeStatusName(subject.status));
    if (texts.present[kError]) texts.Write(json.Key("error"), kError, cap);
    WriteValues(json.Key("stored"), texts, kStored, cap);
    WriteValues(json.Key("expected"), texts, kExpected, cap);
    json.Key("source");
    subject.source != nullptr ? json.Name(subject.source) : json.Null();
    json.Key("model");
    if (haveModel) {
        json.Open();
        for (int i = 0; i < 4; ++i)
            if (i < 2 || texts.present[kModel + i]) // family and SKU only where present
                texts.Write(json.Key(kModelFields[i]), kModel + i, cap);
        json.Close();
        json.Key("unit").Open();
        texts.Write(json.Key("serial"), kSerial, cap);
        json.Key("uuid");
        texts.uuid.empty() ? json.Null() : json.Name(texts.uuid.c_str());
        json.Close();
    } else {
        json.Null().Key("unit").Null();
    }
    if (subject.lastBoardMember) WriteLastBoard(json.Key("last_board"), subject);
    json.Key("tool").Name(VESK_PRODUCT_VERSION_TEXT).Close();
    return line;
}

} // namespace

std::string ProbeLine(const ProbeSubject& subject) {
    Texts texts;
    texts.Set(kMachine, subject.machine);
    if (subject.status == ProbeStatus::Error || !subject.error.empty())
        texts.Set(kError, subject.error);
    for (const IdentityField field : kFields) {
        const int at = static_cast<int>(field);
        const StoredValue* stored = subject.stored ? &subject.stored->ValueOf(field) : nullptr;
        if (stored != nullptr && stored->present && stored->problem.empty())
            texts.Set(kStored + at, stored->text);
        if (subject.expected != nullptr)
            texts.Set(kExpected + at, ValueText(*subject.expected, field));
    }
    const bool haveModel = subject.expected != nullptr && ReadModel(subject, texts);
    std::string line = Line(subject, texts, haveModel, SIZE_MAX);
    if (line.size() <= kProbeLineLimit) return line;
    // The longest length every text may keep: a length of 0 leaves only the marks, which fit.
    size_t low = 0, high = kProbeLineLimit;
    while (low < high) {
        const size_t mid = (low + high + 1) / 2;
        if (Line(subject, texts, haveModel, mid).size() <= kProbeLineLimit)
            low = mid;
        else
            high = mid - 1;
    }
    return Line(subject, texts, haveModel, low);
}
