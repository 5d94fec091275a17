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

void Cell(std::string& out, std::string_view text, bool first = false) {
    if (!first) out += ',';
    out += '"';
    if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos)
        out += '\'';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void Value(std::string& out, const std::optional<std::string>& value) {
    Cell(out, value ? std::string_view(*value) : std::string_view());
}

} // namespace

std::string FleetCsv(const FleetTally& tally) {
    std::string out = "\xEF\xBB\xBF";
    for (size_t i = 0; i < kHeader.size(); ++i)
        Cell(out, kHeader[i], i == 0);
    out += "\r\n";
    for (const Device& device : tally.devices) {
        const ProbeRecord& record = tally.Record(device);
        Cell(out, ShownName(record), true);
        Cell(out, record.machine);
        Value(out, record.serial);
        Value(out, record.uuid);
        Cell(out, record.manufacturer);
        Cell(out, record.product);
        Cell(out, ProbeStatusName(record.status));
        Cell(out, ActionReason(record));
        for (const ProbeValues* values : {&record.stored, &record.expected})
            for (const auto& value : *values)
                Value(out, value);
        Cell(out, record.deviceId);
        Cell(out, record.updated ? TimeText(*record.updated) : "");
        Cell(out, record.detection);
        Cell(out, device.uuidSharedBy ? std::to_string(device.uuidSharedBy) : "");
        out += "\r\n";
    }
    return out;
}
