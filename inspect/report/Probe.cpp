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
    kTexts = kModel + 4
};

const char* const kModelFields[4] = {"manufacturer", "product", "family", "sku"};
// The bytes of a type-1 structure that number its manufacturer, product name, SKU and family.
const int kModelBytes[4] = {4, 5, 26, 25};

// The line's texts: bytes, but for the machine's name and the error, which are UTF-8.
struct Texts {
    std::string text[kTexts];
    bool present[kTexts] = {};

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

// The type-1 structure VeskInfo took the manufacturer from, else the first one walked.
const Inspection::Structure* SystemStructure(const Inspection& inspection) {
    if (const Inspection::Candidate* chosen = inspection.Chosen(IdentityField::Manufacturer))
        if (const Inspection::Structure* structure = inspection.StructureAt(chosen->offset))
            return structure;
    for (const Inspection::Structure& structure : inspection.structures)
        if (structure.type == 1) return &structure;
    return nullptr;
}

// The model's texts: each where the structure has the byte that numbers it and the walk read
// that string. Returns false where no type-1 structure was walked.
bool ReadModel(const ProbeSubject& subject, Texts& texts) {
    const Inspection& walk = *subject.expected;
    const Inspection::Structure* structure = SystemStructure(walk);
    if (structure == nullptr || subject.table == nullptr) return false;
    for (int i = 0; i < 4; ++i) {
        const size_t at = static_cast<size_t>(structure->offset) + kModelBytes[i];
        if (kModelBytes[i] >= structure->length || at >= subject.length) continue;
        const int number = subject.table[at];
        const Inspection::String* string =
            number > 0 ? walk.StringAt(structure->offset, number) : nullptr;
        if (string != nullptr) texts.Set(kModel + i, string->text);
    }
    return true;
}

void WriteValues(JsonLine& json, const Texts& texts, int first, size_t cap) {
    json.Open();
    for (const IdentityField field : kFields)
        texts.Write(json.Key(JsonFieldName(field)), first + static_cast<int>(field), cap);
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
    } else {
        json.Null();
    }
    json.Key("tool").Name(VESK_PRODUCT_VERSION_TEXT).Close();
    return line;
}

} // namespace

std::string ProbeLine(const ProbeSubject& subject) {
    Texts texts;
    texts.Set(kMachine, subject.machine);
    if (subject.status == ProbeStatus::Error) texts.Set(kError, subject.error);
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
