#include "report/Probe.h"

#include "Version.h"
#include "inspection/Audit.h"
#include "report/JsonReport.h"
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

const char kCutMark[] = "\xE2\x80\xA6"; // U+2026 in UTF-8

struct Texts {
    std::string text[kTexts];
    bool present[kTexts] = {};

    void Set(int at, const std::string& utf8) {
        // Nothing longer than a whole line can show: cut early, so that what follows stays cheap.
        text[at] = utf8.size() > kProbeLineLimit ? Cut(utf8, kProbeLineLimit) : utf8;
        present[at] = true;
    }
    Json At(int at, size_t cap) const {
        return present[at] ? Json(text[at].size() > cap ? Cut(text[at], cap) : text[at])
                           : Json(nullptr);
    }
    static std::string Cut(const std::string& utf8, size_t cap) {
        size_t end = std::min(cap, utf8.size());
        while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            --end; // never inside a character
        return utf8.substr(0, end) + kCutMark;
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
        if (string != nullptr) texts.Set(kModel + i, BytesAsUtf8(string->text));
    }
    return true;
}

Json ValuesJson(const Texts& texts, int first, size_t cap) {
    Json values = Json::object();
    for (const IdentityField field : kFields)
        values[JsonFieldName(field)] = texts.At(first + static_cast<int>(field), cap);
    return values;
}

std::string Line(const ProbeSubject& subject, const Texts& texts, bool haveModel, size_t cap) {
    Json json = {{"probe", kProbeSchema},
                 {"machine", texts.At(kMachine, cap)},
                 {"status", ProbeStatusName(subject.status)}};
    if (texts.present[kError]) json["error"] = texts.At(kError, cap);
    json["stored"] = ValuesJson(texts, kStored, cap);
    json["expected"] = ValuesJson(texts, kExpected, cap);
    json["source"] = subject.source != nullptr ? Json(subject.source) : Json(nullptr);
    Json model = nullptr;
    if (haveModel) {
        model = Json::object();
        for (int i = 0; i < 4; ++i)
            if (i < 2 || texts.present[kModel + i]) // family and SKU only where present
                model[kModelFields[i]] = texts.At(kModel + i, cap);
    }
    json["model"] = std::move(model);
    json["tool"] = VESK_PRODUCT_VERSION_TEXT;
    return json.dump(-1, ' ', true, Json::error_handler_t::replace);
}

} // namespace

ProbeStatus ProbeStatusOf(const StoredValues& stored, const Inspection& expected, bool only64) {
    const AuditResult audit = Audit(stored, expected, nullptr, TableSource::Wmi);
    int present = 0;
    for (const AuditLine& line : audit.lines)
        present += line.stored->present ? 1 : 0;
    if (present == 0) return ProbeStatus::NotRun;
    if (only64) return ProbeStatus::Only64Bit;
    if (present < 3) return ProbeStatus::Missing;
    return audit.allMatch ? ProbeStatus::Match : ProbeStatus::Differs;
}

const char* ProbeStatusName(ProbeStatus status) {
    switch (status) {
    case ProbeStatus::Match:
        return "match";
    case ProbeStatus::Differs:
        return "differs";
    case ProbeStatus::Missing:
        return "missing";
    case ProbeStatus::NotRun:
        return "not-run";
    case ProbeStatus::Only64Bit:
        return "only-64-bit";
    case ProbeStatus::NoTable:
        return "no-table";
    case ProbeStatus::Error:
        break;
    }
    return "error";
}

int ProbeExitStatus(ProbeStatus status) {
    switch (status) {
    case ProbeStatus::Match:
        return 0;
    case ProbeStatus::Differs:
    case ProbeStatus::Missing:
    case ProbeStatus::NotRun:
    case ProbeStatus::Only64Bit:
        return 1;
    case ProbeStatus::NoTable:
    case ProbeStatus::Error:
        break;
    }
    return 2;
}

std::string ProbeLine(const ProbeSubject& subject) {
    Texts texts;
    texts.Set(kMachine, subject.machine);
    if (subject.status == ProbeStatus::Error) texts.Set(kError, subject.error);
    for (const IdentityField field : kFields) {
        const int at = static_cast<int>(field);
        const StoredValue* stored = subject.stored ? &subject.stored->ValueOf(field) : nullptr;
        if (stored != nullptr && stored->present && stored->problem.empty())
            texts.Set(kStored + at, BytesAsUtf8(stored->text));
        if (subject.expected != nullptr)
            texts.Set(kExpected + at, BytesAsUtf8(ValueText(*subject.expected, field)));
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
