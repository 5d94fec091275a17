// What the probe says of a machine, in the order the fleet report shows the statuses: written
// by the probe and read back from thousands of machines by the report.
#pragma once
#include <array>

enum class ProbeStatus { Match, Differs, Missing, NotRun, Only64Bit, NoTable, Error };
constexpr int kProbeStatuses = 7;

// "match", "differs", "missing", "not-run", "only-64-bit", "no-table", "error".
inline const char* ProbeStatusName(ProbeStatus status) {
    constexpr std::array<const char*, kProbeStatuses> names = {
        "match", "differs", "missing", "not-run", "only-64-bit", "no-table", "error"};
    return names[static_cast<int>(status)];
}
