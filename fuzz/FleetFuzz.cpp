// Reads arbitrary bytes the way the report reads its inputs, as a file of probe lines, as a
// detection export (CSV) and as a Graph page (JSON), each in UTF-8 or, after a byte-order mark,
// UTF-16, with or without an order of day and month, and writes every form of the report. Must
// hold for any input: only the input is read; every record read gives a machine or a refused
// line; every record is in one device and the devices add up; the HTML is
// UTF-8 and carries no markup of the input's; neither the HTML nor the text summary carries a
// bidirectional control, nor the text summary a control byte but its line ends. Each line is
// also read as a probe line by the fast parser and by the reference reader alone, which must
// agree: the same answer, the same reason, the same record.
#include "report/FleetReport.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool ValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : 4;
        if (lead >= 0xF8 || (lead >= 0x80 && lead < 0xC0) || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// U+202A to U+202E and U+2066 to U+2069 as UTF-8.
bool BidiControl(const std::string& text) {
    for (size_t at = text.find('\xE2'); at != std::string::npos; at = text.find('\xE2', at + 1)) {
        if (at + 2 >= text.size()) break;
        const unsigned char second = static_cast<unsigned char>(text[at + 1]);
        const unsigned char third = static_cast<unsigned char>(text[at + 2]);
        if ((second == 0x80 && third >= 0xAA && third <= 0xAE) ||
            (second == 0x81 && third >= 0xA6 && third <= 0xA9))
            return true;
    }
    return false;
}

void ReadAs(const char* name, std::string_view bytes, DateOrder order) {
    FleetTally tally;
    TextSource source(bytes);
    InputSummary summary = ReadFleetInput(name, source, tally, order);
    Check(summary.machines + summary.refused == summary.lines);
    Check(summary.timesInDoubt <= summary.timesNotRead && summary.timesNotRead <= summary.machines);
    Check(order == DateOrder::Unsettled || summary.timesInDoubt == 0);
    if (summary.error.empty())
        Check(summary.machines == tally.records && summary.refused == tally.refusedLines);
    tally.Finish();
    Check(tally.machines <= tally.records && tally.repeated <= tally.machines);
    // Every record is in one device, the devices in the order first read; a shared UUID has a
    // device behind it, and the devices joined by a key were joined from several records.
    size_t joined = 0;
    for (size_t i = 0; i < tally.devices.size(); ++i) {
        joined += tally.devices[i].records;
        Check(i == 0 || tally.devices[i - 1].first < tally.devices[i].first);
    }
    Check(joined == tally.records);
    for (const SharedUuid& shared : tally.sharedUuids)
        Check(shared.devices >= 1 && !shared.why.empty());
    for (const size_t count : tally.joinedBy)
        Check(count <= tally.repeated);
    size_t byStatus = 0, byModel = 0;
    for (const size_t count : tally.statuses)
        byStatus += count;
    for (const auto& model : tally.models)
        byModel += model.second.machines;
    Check(byStatus == tally.machines && byModel == tally.machines);
    Check(tally.actions.size() + tally.actionsNotShown == tally.NeedingAction());
    tally.Input(std::move(summary));

    const std::string html = FleetHtml(tally, "0");
    Check(ValidUtf8(html) && !BidiControl(html));
    Check(html.find("<script") == std::string::npos && html.find("<img") == std::string::npos);
    std::ostringstream text;
    WriteFleetText(text, tally);
    Check(!BidiControl(text.str()));
    for (const char c : text.str())
        Check(c == '\n' || static_cast<unsigned char>(c) >= 0x20);
    const std::vector<unsigned char> csv = FleetCsv(tally);
    Check(csv.size() > 3 && csv[0] == 0xEF && csv[1] == 0xBB && csv[2] == 0xBF);
}

bool SameRecord(const ProbeRecord& a, const ProbeRecord& b) {
    return a.machine == b.machine && a.status == b.status && a.stored == b.stored &&
           a.expected == b.expected && a.manufacturer == b.manufacturer && a.product == b.product &&
           a.error == b.error && a.serial == b.serial && a.uuid == b.uuid && a.time == b.time &&
           a.device == b.device && a.deviceId == b.deviceId && a.detection == b.detection &&
           a.updated == b.updated && a.read == b.read;
}

// The record is reused from line to line, as the report's reader reuses it.
void BothParsers(std::string_view bytes) {
    static ProbeRecord reused;
    for (size_t begin = 0; begin <= bytes.size();) {
        const size_t end = std::min(bytes.find('\n', begin), bytes.size());
        const std::string_view line = bytes.substr(begin, end - begin);
        begin = end + 1;
        ProbeRecord reference;
        std::string fastReason, referenceReason;
        const bool fast = ParseProbeLine(line, reused, fastReason);
        Check(fast == ParseProbeLineReference(line, reference, referenceReason));
        Check(fast ? SameRecord(reused, reference) : fastReason == referenceReason);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The order of day and month as --date-order gives it, or not, from the input's last byte.
    const auto order = static_cast<DateOrder>(size ? data[size - 1] % 3 : 0);
    ReadAs("fleet.txt", bytes, order);
    ReadAs("fleet.csv", bytes, order);
    ReadAs("fleet.json", bytes, order);
    BothParsers(bytes);
    return 0;
}
