#include "inspection/Audit.h"

#include "smbios/SystemIdentity.h"

#include <cstring>

namespace {

const char* FallbackOf(IdentityField field) {
    switch (field) {
    case IdentityField::Manufacturer:
        return "";
    case IdentityField::SystemId:
        return kSystemIdFallback;
    case IdentityField::RegulatoryId:
        return kRegulatoryIdFallback;
    }
    return "";
}

// The stored text read as VeskInfo reads an OEM "1[" value, or empty when it holds no number.
std::string AsHexNumber(const std::string& text) {
    char buffer[kCandidateIdSize] = {};
    if (text.size() >= sizeof buffer) return "";
    std::memcpy(buffer, text.data(), text.size());
    return NormaliseHexText(buffer, sizeof buffer) ? buffer : "";
}

const char* OtherSourceReason(TableSource source) {
    return source == TableSource::Wmi
               ? "it is what VeskInfo records when WMI fails and it walks the registry copy, "
                 "header included (compare with --source registry)"
               : "it is what VeskInfo records where WMI answers and hands over the table alone";
}

const char* kChanged = "the firmware has changed since VeskInfo ran (for instance after a board "
                       "replacement or a firmware update), or the value was edited";

std::string Reason(IdentityField field, const StoredValue& stored, const std::string& expected,
                   const Inspection* other, TableSource source, bool othersStored) {
    if (!stored.present && othersStored)
        return "this value is missing while the others are stored: it was deleted, or its "
               "write failed";
    if (!stored.present)
        return "none of the three values is stored: VeskInfo has not run on this machine, or "
               "the values were deleted";
    if (!stored.problem.empty()) return stored.problem + ": not written by VeskInfo";
    if (stored.text.size() >= static_cast<size_t>(kIdentityTextSize))
        return "longer than the 259 characters VeskInfo stores: not written by VeskInfo";
    if (other != nullptr && stored.text == ValueText(*other, field))
        return OtherSourceReason(source);
    if (EqualNoCase(stored.text, expected))
        return "differs only in case: VeskInfo stores the text as the table gives it, so it was "
               "edited or written by another tool";
    if (field == IdentityField::SystemId && AsHexNumber(stored.text) == expected)
        return "the same number written another way (VeskInfo writes it in upper case without "
               "leading zeros): edited or written by another tool";
    if (stored.text == FallbackOf(field))
        return std::string("the stored value is the fall-back: when VeskInfo ran, the table held "
                           "no such value, so ") +
               kChanged;
    if (expected == FallbackOf(field))
        return std::string("this table holds no such value (VeskInfo records the fall-back): "
                           "the stored one came from other firmware, or ") +
               "it was edited";
    return kChanged;
}

} // namespace

AuditResult Audit(const StoredValues& stored, const Inspection& expected, const Inspection* other,
                  TableSource source) {
    AuditResult audit = {};
    audit.allMatch = true;
    int storedCount = 0;
    for (const IdentityField field : kFields)
        storedCount += stored.ValueOf(field).present ? 1 : 0;
    for (const IdentityField field : kFields) {
        const StoredValue& value = stored.ValueOf(field);
        AuditLine& line = audit.lines[static_cast<int>(field)];
        line.field = field;
        line.stored = &value;
        line.expected = ValueText(expected, field);
        line.match = value.present && value.problem.empty() && value.text == line.expected;
        if (!line.match)
            line.reason = Reason(field, value, line.expected, other, source, storedCount > 0);
        audit.allMatch = audit.allMatch && line.match;
    }
    return audit;
}

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

std::string WorseIdentity(const StoredValues& stored, const Inspection& expected) {
    std::string names, texts;
    int worse = 0;
    for (const IdentityField field : kFields) {
        const StoredValue& value = stored.ValueOf(field);
        const std::string now = ValueText(expected, field);
        const bool real = value.present && value.problem.empty() && !value.text.empty() &&
                          value.text != FallbackOf(field);
        if (!real || !(now.empty() || now == FallbackOf(field))) continue;
        const char* separator = worse++ == 0 ? "" : ", ";
        names += separator + std::string(StoredValueName(field));
        texts += separator + (now.empty() ? std::string("an empty text") : '"' + now + '"');
    }
    if (worse == 0) return "";
    return "VeskInfo was not started: this machine's table gives no " + names +
           ", so VeskInfo would store " + texts + " over the stored value" +
           (worse > 1 ? "s" : "") + "; nothing was changed";
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
    case ProbeStatus::NoInspector: // written by the fleet scripts and the report, never the probe
    case ProbeStatus::NoOutput:
        break;
    }
    return 2;
}
