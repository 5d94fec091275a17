// Reads arbitrary bytes the way the report reads its inputs, as a file of probe lines and as a
// detection export (CSV), and writes both forms of the report. Must hold for any input: only
// the input is read; every record read gives a machine or a refused line; the totals add up;
// the HTML is UTF-8 and carries no markup of the input's; the text summary carries no control
// byte but its line ends.
#include "report/FleetReport.h"

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

void ReadAs(const char* name, std::string_view bytes) {
    FleetTally tally;
    TextSource source(bytes);
    InputSummary summary = ReadFleetInput(name, source, tally);
    Check(summary.machines + summary.refused == summary.lines);
    Check(summary.machines == tally.machines && summary.refused == tally.refusedLines);
    size_t byStatus = 0, byModel = 0;
    for (const size_t count : tally.statuses)
        byStatus += count;
    for (const auto& model : tally.models)
        byModel += model.second.machines;
    Check(byStatus == tally.machines && byModel == tally.machines);
    Check(tally.actions.size() + tally.actionsNotShown == tally.NeedingAction());
    tally.Input(std::move(summary));

    const std::string html = FleetHtml(tally, "0");
    Check(ValidUtf8(html));
    Check(html.find("<script") == std::string::npos && html.find("<img") == std::string::npos);
    std::ostringstream text;
    WriteFleetText(text, tally);
    for (const char c : text.str())
        Check(c == '\n' || static_cast<unsigned char>(c) >= 0x20);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ReadAs("fleet.txt", bytes);
    ReadAs("fleet.csv", bytes);
    return 0;
}
