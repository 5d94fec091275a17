#include "Report.h"

#include <cstdio>

namespace {

std::string Hex(int value, int digits = 4) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

// A text for a human: in double quotes, with quotes, backslashes and unprintable bytes escaped.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

// A string number, or null where the value did not come from a string.
std::string JsonNumber(int number) {
    return number > 0 ? std::to_string(number) : "null";
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

const IdentityField kFields[] = {IdentityField::Manufacturer, IdentityField::SystemId,
                                 IdentityField::RegulatoryId};

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

template <typename Item, typename Write>
void JsonArray(std::ostream& out, const char* name, const std::vector<Item>& items, Write write) {
    out << "  \"" << name << "\": [";
    for (size_t i = 0; i < items.size(); ++i) {
        out << (i ? ",\n    " : "\n    ");
        write(items[i]);
    }
    out << (items.empty() ? "]" : "\n  ]");
}

void JsonValues(std::ostream& out, const Inspection& inspection) {
    out << "  \"values\": {";
    const char* separator = "\n";
    for (const IdentityField field : kFields) {
        const Inspection::Candidate* chosen = inspection.Chosen(field);
        out << separator << "    \"" << JsonFieldName(field)
            << "\": {\"text\": " << JsonString(inspection.ValueOf(field).text) << ", \"source\": \""
            << ValueSourceName(inspection.ValueOf(field).source) << "\"";
        if (chosen != nullptr)
            out << ", \"offset\": " << chosen->offset
                << ", \"string\": " << JsonNumber(chosen->number)
                << ", \"candidate\": " << JsonString(chosen->text);
        out << "}";
        separator = ",\n";
    }
    out << "\n  },\n";
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

void PrintJson(std::ostream& out, const Inspection& inspection, const std::string& input) {
    const SystemIdentity& id = inspection.identity;
    out << "{\n  \"input\": " << JsonString(input) << ",\n  \"result\": " << inspection.result
        << ",\n  \"walk_completed\": " << (inspection.result ? "true" : "false")
        << ",\n  \"manufacturer\": " << JsonString(id.szManufacturer)
        << ",\n  \"system_id\": " << JsonString(id.szSystemIdHex)
        << ",\n  \"regulatory_id\": " << JsonString(id.szRegulatoryID) << ",\n";
    JsonValues(out, inspection);
    JsonArray(out, "structures", inspection.structures, [&](const Inspection::Structure& s) {
        out << "{\"offset\": " << s.offset << ", \"type\": " << s.type
            << ", \"length\": " << s.length
            << ", \"handle\": " << (s.handle < 0 ? std::string("null") : std::to_string(s.handle))
            << "}";
    });
    out << ",\n";
    std::vector<Inspection::String> oem;
    for (const Inspection::String& s : inspection.strings)
        if (s.type == 11) oem.push_back(s);
    JsonArray(out, "oem_strings", oem, [&](const Inspection::String& s) {
        out << "{\"offset\": " << s.offset << ", \"string\": " << s.number
            << ", \"text\": " << JsonString(s.text) << "}";
    });
    out << ",\n";
    JsonArray(out, "candidates", inspection.candidates, [&](const Inspection::Candidate& c) {
        out << "{\"source\": \"" << ValueSourceName(c.source) << "\", \"offset\": " << c.offset
            << ", \"string\": " << JsonNumber(c.number) << ", \"text\": " << JsonString(c.text)
            << "}";
    });
    out << ",\n";
    JsonArray(out, "anomalies", inspection.anomalies, [&](const Inspection::Anomaly& a) {
        out << "{\"kind\": \"" << WalkAnomalyName(a.kind) << "\", \"offset\": " << a.offset
            << ", \"string\": " << JsonNumber(a.number) << "}";
    });
    out << "\n}\n";
}

std::string CutShortReason(const Inspection& inspection) {
    if (inspection.outOfMemory) return "the walk was cut short: out of memory";
    for (auto it = inspection.anomalies.rbegin(); it != inspection.anomalies.rend(); ++it)
        if (it->kind == WalkAnomaly::TruncatedStructure ||
            it->kind == WalkAnomaly::StringNumberOutOfRange)
            return "the walk was cut short: " + AnomalyText(inspection, *it);
    return "the walk was cut short";
}
