#include "report/Report.h"

#include <cstdio>

// A text for a human: in double quotes, with quotes, backslashes and unprintable bytes escaped.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (code < 0x20 || code == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

const char* FieldName(IdentityField field) {
    switch (field) {
    case IdentityField::Manufacturer:
        return "manufacturer";
    case IdentityField::SystemId:
        return "system identifier";
    case IdentityField::RegulatoryId:
        return "regulatory identifier";
    }
    return "";
}

const char* JsonFieldName(IdentityField field) {
    switch (field) {
    case IdentityField::Manufacturer:
        return "manufacturer";
    case IdentityField::SystemId:
        return "system_id";
    case IdentityField::RegulatoryId:
        return "regulatory_id";
    }
    return "";
}

namespace {

std::string Hex(int value, int digits = 4) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

const char* SourceText(ValueSource source) {
    switch (source) {
    case ValueSource::ManufacturerString:
        return "manufacturer string";
    case ValueSource::OemSystemId:
        return "OEM \"1[\" value";
    case ValueSource::Type208:
        return "type-208 value";
    case ValueSource::OemRegulatoryId:
        return "OEM \"13[\" value";
    case ValueSource::Fallback:
        return "fall-back";
    }
    return "";
}

std::string StructureName(const Inspection& inspection, int offset) {
    const Inspection::Structure* structure = inspection.StructureAt(offset);
    const std::string type = structure ? std::to_string(structure->type) : "?";
    return "the type-" + type + " structure at " + Hex(offset);
}

std::string AnomalyText(const Inspection& inspection, const Inspection::Anomaly& anomaly) {
    const std::string where = StructureName(inspection, anomaly.offset);
    const std::string string = "string " + std::to_string(anomaly.number);
    switch (anomaly.kind) {
    case WalkAnomaly::TruncatedStructure:
        return where + " needs bytes beyond the end of the table: the walk stops";
    case WalkAnomaly::UnterminatedStructure:
        return where + " has no closing zeros before the end of the table: the walk ends";
    case WalkAnomaly::StringNumberOutOfRange:
        return where + " names manufacturer string " + std::to_string(anomaly.number) +
               ", beyond its strings: the walk stops";
    case WalkAnomaly::MarkerWithoutBracket:
        return string + " of " + where + " has a marker without \"]\": the rest of it is taken";
    case WalkAnomaly::OverLongString:
        return string + " of " + where + " has 128 characters or more: the first 127 are used";
    }
    return "";
}

std::string FallbackText(IdentityField field) {
    switch (field) {
    case IdentityField::Manufacturer:
        return "none found: empty";
    case IdentityField::SystemId:
        return "no OEM \"1[\" value and no type-208 value: fall-back";
    case IdentityField::RegulatoryId:
        return "no OEM \"13[\" value: fall-back";
    }
    return "";
}

std::string SourceText(const Inspection& inspection, IdentityField field) {
    const Inspection::Candidate* chosen = inspection.Chosen(field);
    if (chosen == nullptr) return FallbackText(field);
    const std::string where = StructureName(inspection, chosen->offset);
    if (chosen->source == ValueSource::Type208) return "bytes 8 and 9 of " + where;
    const Inspection::String* string = inspection.StringAt(chosen->offset, chosen->number);
    std::string text = "string " + std::to_string(chosen->number) + " ";
    if (string != nullptr && chosen->source != ValueSource::ManufacturerString)
        text += Quoted(string->text) + " ";
    text += "of " + where;
    if (chosen->source == ValueSource::OemSystemId)
        text += ", text " + Quoted(chosen->text) + " read as hexadecimal";
    return text;
}

// Why a candidate did not become a value, or null when it did.
const char* UnusedReason(const Inspection& inspection, size_t index) {
    const Inspection::Candidate& candidate = inspection.candidates[index];
    for (size_t later = index + 1; later < inspection.candidates.size(); ++later)
        if (inspection.candidates[later].source == candidate.source)
            return "replaced by a later one";
    if (candidate.text.empty()) return "empty";
    if (candidate.source == ValueSource::Type208 &&
        inspection.ValueOf(IdentityField::SystemId).source == ValueSource::OemSystemId)
        return "the OEM \"1[\" value comes first";
    return nullptr;
}

void PrintStructures(std::ostream& out, const Inspection& inspection) {
    out << "Structures walked (" << inspection.structures.size() << "):\n";
    out << "  offset  type  length  handle\n";
    for (const Inspection::Structure& s : inspection.structures) {
        char line[64];
        std::snprintf(line, sizeof line, "  0x%04X  %4d  %6d  %s\n",
                      static_cast<unsigned>(s.offset), s.type, s.length,
                      s.handle < 0 ? "-" : Hex(s.handle).c_str());
        out << line;
    }
}

void PrintSources(std::ostream& out, const Inspection& inspection) {
    out << "Values:\n";
    for (const IdentityField field : kFields)
        out << "  " << FieldName(field) << " " << Quoted(inspection.ValueOf(field).text) << ": "
            << SourceText(inspection, field) << "\n";
    bool any = false;
    for (size_t i = 0; i < inspection.candidates.size(); ++i) {
        const char* reason = UnusedReason(inspection, i);
        if (reason == nullptr) continue;
        if (!any) out << "Candidates not used:\n";
        any = true;
        const Inspection::Candidate& c = inspection.candidates[i];
        out << "  " << SourceText(c.source) << " " << Quoted(c.text) << " from ";
        if (c.number > 0) out << "string " << c.number << " of ";
        out << StructureName(inspection, c.offset) << ": " << reason << "\n";
    }
}

void PrintAnomalies(std::ostream& out, const Inspection& inspection) {
    out << "Anomalies:" << (inspection.anomalies.empty() ? " none" : "") << "\n";
    for (const Inspection::Anomaly& anomaly : inspection.anomalies)
        out << "  " << AnomalyText(inspection, anomaly) << "\n";
    if (inspection.outOfMemory) out << "  out of memory during the walk: the walk stops\n";
}

} // namespace

void PrintValues(std::ostream& out, const Inspection& inspection) {
    out << inspection.identity.szManufacturer << "\n"
        << inspection.identity.szSystemIdHex << "\n"
        << inspection.identity.szRegulatoryID << "\n";
}

void PrintExplanation(std::ostream& out, const Inspection& inspection) {
    out << "Walk: " << (inspection.result ? "completed (result 1)" : "cut short (result 0)")
        << "\n";
    PrintStructures(out, inspection);
    PrintSources(out, inspection);
    PrintAnomalies(out, inspection);
}

std::string CutShortReason(const Inspection& inspection) {
    if (inspection.outOfMemory) return "the walk was cut short: out of memory";
    for (auto it = inspection.anomalies.rbegin(); it != inspection.anomalies.rend(); ++it)
        if (it->kind == WalkAnomaly::TruncatedStructure ||
            it->kind == WalkAnomaly::StringNumberOutOfRange)
            return "the walk was cut short: " + AnomalyText(inspection, *it);
    return "the walk was cut short";
}

IdentityField FieldOf(const std::string& option) {
    return option == "manufacturer" ? IdentityField::Manufacturer
           : option == "system-id"  ? IdentityField::SystemId
                                    : IdentityField::RegulatoryId;
}

namespace {

std::string ContainerText(const TableInput& input) {
    if (input.hasEntryPoint) {
        const EntryPoint& ep = input.dump.entryPoint;
        return "\"" + ep.anchor + "\" entry point, SMBIOS " + std::to_string(ep.major) + "." +
               std::to_string(ep.minor) + ", checksum " + (ep.checksumOk ? "correct" : "wrong") +
               (ep.anchor == "_SM_" ? std::string(", \"_DMI_\" checksum ") +
                                          (ep.intermediateOk ? "correct" : "wrong")
                                    : "") +
               "; table of " + std::to_string(input.dump.length) + " bytes at offset " +
               std::to_string(input.dump.offset);
    }
    if (input.hasHeader) {
        const RsmbHeader& h = input.header;
        return "8-byte header (calling method " + std::to_string(h.callingMethod) + ", SMBIOS " +
               std::to_string(h.major) + "." + std::to_string(h.minor) + ", DMI revision " +
               std::to_string(h.dmiRevision) + ", table of " + std::to_string(h.length) + " bytes)";
    }
    return "";
}

const char* SourceExplanation(const TableInput& input, TableSource source) {
    if (!input.SourcesDiffer()) return "the same bytes whether WMI answers or not";
    return source == TableSource::Wmi
               ? "the table after the header, as VeskInfo walks it where WMI answers"
               : "the whole value, header included, as VeskInfo's registry fall-back walks it";
}

} // namespace

void PrintInputExplanation(std::ostream& out, const TableInput& input, TableSource source) {
    const std::string container = ContainerText(input);
    out << "Input: " << input.name << "\n"
        << "Format: " << FormatName(input.format) << (container.empty() ? "" : " (") << container
        << (container.empty() ? "" : ")") << "\n"
        << "Source: " << SourceName(source) << ": " << input.Length(source) << " bytes from offset "
        << input.SpanOf(source).offset << ", " << SourceExplanation(input, source) << "\n";
    for (const std::string& note : input.notes)
        out << "Note: " << note << "\n";
}

void PrintOtherSource(std::ostream& out, const Inspection& other, TableSource otherSource,
                      const Inspection& shown) {
    bool same = other.result == shown.result;
    for (const IdentityField field : kFields)
        same = same && std::string(ValueText(other, field)) == ValueText(shown, field);
    out << "\nWith the " << SourceName(otherSource) << " source ("
        << (otherSource == TableSource::Registry ? "header included" : "the table alone")
        << "), VeskInfo records " << (same ? "the same" : "other values") << ": walk "
        << (other.result ? "completed" : "cut short") << "\n";
    for (const IdentityField field : kFields)
        out << "  " << FieldName(field) << " " << Quoted(ValueText(other, field)) << ": "
            << ValueSourceName(other.ValueOf(field).source) << "\n";
    for (const Inspection::Anomaly& anomaly : other.anomalies)
        out << "  anomaly: " << WalkAnomalyName(anomaly.kind) << " at " << Hex(anomaly.offset)
            << "\n";
}

std::string EscapeC(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (c == '\t') {
            escaped += "\\t";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\\') {
            escaped += "\\\\";
        } else if (code < 0x20 || code == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", code);
            escaped += hex;
        } else {
            escaped += c;
        }
    }
    return escaped;
}
