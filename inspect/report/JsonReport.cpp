#include "report/JsonReport.h"

#include "report/JsonLine.h"
#include "report/Report.h"

namespace {

// A string number, or null where the value did not come from a string.
Json JsonNumber(int number) {
    return number > 0 ? Json(number) : Json(nullptr);
}

Json ValuesJson(const Inspection& inspection) {
    Json values = Json::object();
    for (const IdentityField field : kFields) {
        const Inspection::Value& value = inspection.ValueOf(field);
        Json entry = {{"text", JsonText(value.text)}, {"source", ValueSourceName(value.source)}};
        if (const Inspection::Candidate* chosen = inspection.Chosen(field)) {
            entry["offset"] = chosen->offset;
            entry["string"] = JsonNumber(chosen->number);
            entry["candidate"] = JsonText(chosen->text);
        }
        values[JsonFieldName(field)] = std::move(entry);
    }
    return values;
}

Json WalkJson(const Inspection& inspection) {
    Json json = {{"result", inspection.result}, {"walk_completed", inspection.result != 0}};
    for (const IdentityField field : kFields)
        json[JsonFieldName(field)] = JsonText(ValueText(inspection, field));
    json["values"] = ValuesJson(inspection);
    return json;
}

Json AnomaliesJson(const Inspection& inspection) {
    Json anomalies = Json::array();
    for (const Inspection::Anomaly& a : inspection.anomalies)
        anomalies.push_back({{"kind", WalkAnomalyName(a.kind)},
                             {"offset", a.offset},
                             {"string", JsonNumber(a.number)}});
    return anomalies;
}

void AddDetails(Json& json, const Inspection& inspection) {
    Json& structures = json["structures"] = Json::array();
    for (const Inspection::Structure& s : inspection.structures)
        structures.push_back({{"offset", s.offset},
                              {"type", s.type},
                              {"length", s.length},
                              {"handle", s.handle < 0 ? Json(nullptr) : Json(s.handle)}});
    Json& oem = json["oem_strings"] = Json::array();
    for (const Inspection::String& s : inspection.strings)
        if (s.type == 11)
            oem.push_back({{"offset", s.offset}, {"string", s.number}, {"text", JsonText(s.text)}});
    Json& candidates = json["candidates"] = Json::array();
    for (const Inspection::Candidate& c : inspection.candidates)
        candidates.push_back({{"source", ValueSourceName(c.source)},
                              {"offset", c.offset},
                              {"string", JsonNumber(c.number)},
                              {"text", JsonText(c.text)}});
    json["anomalies"] = AnomaliesJson(inspection);
}

Json ContainerJson(const TableInput& input) {
    if (input.hasEntryPoint) {
        const EntryPoint& ep = input.dump.entryPoint;
        return {{"entry_point",
                 {{"anchor", ep.anchor},
                  {"version", std::to_string(ep.major) + "." + std::to_string(ep.minor)},
                  {"table_address", ep.address},
                  {"table_length", ep.length},
                  {"checksum_ok", ep.checksumOk},
                  {"intermediate_checksum_ok", ep.intermediateOk}}}};
    }
    if (input.hasHeader)
        return {{"rsmb_header",
                 {{"calling_method", input.header.callingMethod},
                  {"major", input.header.major},
                  {"minor", input.header.minor},
                  {"dmi_revision", input.header.dmiRevision},
                  {"length", input.header.length}}}};
    return Json::object();
}

} // namespace

Json JsonText(const std::string& bytes) {
    return BytesAsUtf8(bytes);
}

std::string BytesAsUtf8(const std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const char c : bytes) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | code >> 6));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return utf8;
}

Json InputJson(const TableInput& input, TableSource source, const Inspection& inspection,
               const Inspection* other) {
    Json json = {{"input", JsonText(input.name)},
                 {"format", FormatName(input.format)},
                 {"source", SourceName(source)}};
    json.update(WalkJson(inspection));
    AddDetails(json, inspection);
    Json notes = Json::array();
    for (const std::string& note : input.notes)
        notes.push_back(JsonText(note));
    json["notes"] = std::move(notes);
    json.update(ContainerJson(input));
    json["sources_differ"] = input.SourcesDiffer();
    if (other != nullptr) {
        Json& otherJson = json["other_source"] = {{"source", SourceName(OtherSource(source))}};
        otherJson.update(WalkJson(*other));
        otherJson["anomalies"] = AnomaliesJson(*other);
    }
    return json;
}

// The same members, in the same order, as WalkJson and AnomaliesJson give.
void WriteBatchRecord(std::string& out, const TableInput& input, TableSource source,
                      const Inspection& inspection, const char* status) {
    JsonLine json(out);
    json.Open().Key("input").Text(input.name).Key("format").Name(FormatName(input.format));
    json.Key("source").Name(SourceName(source)).Key("status").Name(status);
    json.Key("result").Number(inspection.result).Key("walk_completed").Bool(inspection.result != 0);
    for (const IdentityField field : kFields)
        json.Key(JsonFieldName(field)).Text(ValueText(inspection, field));
    json.Key("values").Open();
    for (const IdentityField field : kFields) {
        const Inspection::Value& value = inspection.ValueOf(field);
        json.Key(JsonFieldName(field)).Open().Key("text").Text(value.text);
        json.Key("source").Name(ValueSourceName(value.source));
        if (const Inspection::Candidate* chosen = inspection.Chosen(field)) {
            json.Key("offset").Number(chosen->offset).Key("string");
            chosen->number > 0 ? json.Number(chosen->number) : json.Null();
            json.Key("candidate").Text(chosen->text);
        }
        json.Close();
    }
    json.Close().Key("anomalies").OpenArray();
    for (const Inspection::Anomaly& a : inspection.anomalies) {
        json.Open().Key("kind").Name(WalkAnomalyName(a.kind)).Key("offset").Number(a.offset);
        json.Key("string");
        a.number > 0 ? json.Number(a.number) : json.Null();
        json.Close();
    }
    json.CloseArray().Close();
    out.push_back('\n');
}

void WriteErrorRecord(std::string& out, const std::string& name, const char* format,
                      const std::string& error) {
    JsonLine json(out);
    json.Open().Key("input").Text(name).Key("format");
    format != nullptr ? json.Name(format) : json.Null();
    json.Key("error").Text(error).Close();
    out.push_back('\n');
}

void WriteJson(std::ostream& out, const Json& json, bool oneLine) {
    out << json.dump(oneLine ? -1 : 2, ' ', true) << "\n";
}
