// The report as a CSV file of the machines, one row each, for a spreadsheet: UTF-8 with a
// byte-order mark (so that the spreadsheet reads it as UTF-8), every cell quoted, and a cell that
// a spreadsheet would take for a formula prefixed with an apostrophe.
#include "report/FleetReport.h"

namespace {

constexpr std::array<const char*, 18> kHeader = {"Device name",
                                                 "Probe name",
                                                 "Serial number",
                                                 "UUID",
                                                 "Manufacturer",
                                                 "Product",
                                                 "Status",
                                                 "Reason",
                                                 "Stored manufacturer",
                                                 "Stored system identifier",
                                                 "Stored regulatory identifier",
                                                 "Firmware manufacturer",
                                                 "Firmware system identifier",
                                                 "Firmware regulatory identifier",
                                                 "Device ID",
                                                 "Updated (UTC)",
                                                 "Detection state",
                                                 "UUID shared by"};

using Bytes = std::vector<unsigned char>;

void Append(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void Cell(Bytes& out, std::string_view text, bool first = false) {
    if (!first) out.push_back(',');
    out.push_back('"');
    if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos)
        out.push_back('\'');
    for (const char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(static_cast<unsigned char>(c));
    }
    out.push_back('"');
}

void Value(Bytes& out, const std::optional<std::string_view>& value) {
    Cell(out, value ? *value : std::string_view());
}

void Value(Bytes& out, const std::string* value) {
    Cell(out, value ? *value : std::string_view());
}

} // namespace

std::vector<unsigned char> FleetCsv(const FleetTally& tally) {
    Bytes out = {0xEF, 0xBB, 0xBF};
    out.reserve(256 * (tally.devices.size() + 1)); // a row is about 250 bytes
    for (size_t i = 0; i < kHeader.size(); ++i)
        Cell(out, kHeader[i], i == 0);
    Append(out, "\r\n");
    for (const Device& device : tally.devices) {
        const FleetRecord& record = tally.Record(device);
        Cell(out, ShownName(record), true);
        Cell(out, record.machine);
        Value(out, record.serial);
        Value(out, record.uuid);
        Cell(out, *record.manufacturer);
        Cell(out, *record.product);
        Cell(out, ProbeStatusName(record.status));
        Cell(out, ActionReason(record));
        for (const auto* values : {&record.stored, &record.expected})
            for (const auto& value : *values)
                Value(out, value);
        Cell(out, record.deviceId);
        Cell(out, record.updated ? TimeText(*record.updated) : "");
        Cell(out, *record.detection);
        Cell(out, device.uuidSharedBy ? std::to_string(device.uuidSharedBy) : "");
        Append(out, "\r\n");
    }
    return out;
}
