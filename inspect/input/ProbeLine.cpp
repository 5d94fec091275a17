#include "input/ProbeLine.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

constexpr std::array<const char*, kFleetStatuses> kStatusNames = {
    "match", "differs", "missing", "not-run", "only-64-bit", "no-table", "error"};

// A text member: absent or null leaves `out` empty; anything but a string is refused.
bool Text(const Json& object, const char* key, std::optional<std::string>& out, std::string& reason,
          const char* where) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) {
        reason = std::string(where) + key + " is not a text";
        return false;
    }
    out = it->get<std::string>();
    return true;
}

bool Text(const Json& object, const char* key, std::string& out, std::string& reason,
          const char* where = "") {
    std::optional<std::string> text;
    if (!Text(object, key, text, reason, where)) return false;
    out = text.value_or("");
    return true;
}

bool Values(const Json& line, const char* key, ProbeValues& values, std::string& reason) {
    const auto it = line.find(key);
    if (it == line.end() || it->is_null()) return true;
    if (!it->is_object()) {
        reason = std::string(key) + " is not an object";
        return false;
    }
    const std::string where = std::string(key) + ".";
    for (size_t i = 0; i < values.size(); ++i)
        if (!Text(*it, kProbeValueNames[i], values[i], reason, where.c_str())) return false;
    return true;
}

bool Model(const Json& line, ProbeRecord& record, std::string& reason) {
    const auto it = line.find("model");
    if (it == line.end() || it->is_null()) return true;
    if (!it->is_object()) {
        reason = "model is not an object";
        return false;
    }
    return Text(*it, "manufacturer", record.manufacturer, reason, "model.") &&
           Text(*it, "product", record.product, reason, "model.") &&
           Text(*it, "family", record.family, reason, "model.") &&
           Text(*it, "sku", record.sku, reason, "model.");
}

bool Status(const Json& line, FleetStatus& status, std::string& reason) {
    const auto it = line.find("status");
    if (it == line.end() || !it->is_string()) {
        reason = "no status";
        return false;
    }
    const std::string& name = it->get_ref<const std::string&>();
    for (int i = 0; i < kFleetStatuses; ++i)
        if (name == kStatusNames[i]) {
            status = static_cast<FleetStatus>(i);
            return true;
        }
    reason = "unknown status";
    return false;
}

} // namespace

const char* FleetStatusName(FleetStatus status) {
    return kStatusNames[static_cast<int>(status)];
}

bool ParseProbeLine(std::string_view line, ProbeRecord& record, std::string& reason) {
    if (line.size() > kProbeLineReadLimit) {
        reason = "longer than " + std::to_string(kProbeLineReadLimit) + " bytes";
        return false;
    }
    const Json json = Json::parse(line.begin(), line.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        reason = "not a probe line";
        return false;
    }
    const auto version = json.find("probe");
    if (version == json.end() || !version->is_number_integer()) {
        reason = "not a probe line";
        return false;
    }
    if (*version != 1) {
        reason = "probe schema " + version->dump() + " is not known";
        return false;
    }
    record = ProbeRecord();
    return Text(json, "machine", record.machine, reason) && Status(json, record.status, reason) &&
           Values(json, "stored", record.stored, reason) &&
           Values(json, "expected", record.expected, reason) &&
           Text(json, "source", record.source, reason) && Model(json, record, reason) &&
           Text(json, "error", record.error, reason);
}
