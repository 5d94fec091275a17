// What the probe says of a machine, in the order the fleet report shows the statuses: written
// by the probe and read back from thousands of machines by the report. The last two come from
// elsewhere: `no-inspector` from the fleet scripts, where the inspector is not installed, and
// `no-output` from the report itself, for a device whose detection gave no line at all.
#pragma once
#include <array>
#include <cstdint>

enum class ProbeStatus : uint8_t {
    Match,
    Differs,
    Missing,
    NotRun,
    Only64Bit,
    NoTable,
    Error,
    NoInspector,
    NoOutput
};
constexpr int kProbeStatuses = 9;

// "match", "differs", "missing", "not-run", "only-64-bit", "no-table", "error",
// "no-inspector", "no-output".
inline const char* ProbeStatusName(ProbeStatus status) {
    constexpr std::array<const char*, kProbeStatuses> names = {
        "match",    "differs", "missing",      "not-run",  "only-64-bit",
        "no-table", "error",   "no-inspector", "no-output"};
    return names[static_cast<int>(status)];
}
