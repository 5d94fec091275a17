// A probe line: the one line of compact JSON that `--audit --probe` prints on a machine, as it
// comes back from thousands of them. Nothing in it is trusted: a line that is not a probe line
// of a known schema is refused with a reason, never half read.
#pragma once
#include "input/ProbeStatus.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The three values in the order of their JSON names: manufacturer, system_id, regulatory_id.
constexpr std::array<std::string_view, 3> kProbeValueNames = {"manufacturer", "system_id",
                                                              "regulatory_id"};
constexpr int kProbeSystemId = 1;
constexpr int kProbeRegulatoryId = 2;
using ProbeValues = std::array<std::optional<std::string>, 3>; // nullopt: absent

struct ProbeRecord {
    std::string machine;
    ProbeStatus status = ProbeStatus::Error;
    ProbeValues stored;
    ProbeValues expected;
    std::string manufacturer, product; // the model, from the type-1 structure
    // What an `error` or `no-inspector` line says, if anything; for `no-output`, the text of
    // the input's error column.
    std::string error;
    std::optional<std::string> serial, uuid; // the unit's, from "unit"; nullopt: absent or null
    std::optional<std::string> time;         // the line's own "time" member, as written
    // Given by the input the line came in, not by the line: the device-management name and id
    // (an export's or a Graph page's), the detection state it gives, the time stamp of the
    // record as seconds since 1970 (UTC), and when the record was read (FleetSink::NextRead;
    // 0: not yet counted).
    std::string device;
    std::string deviceId;
    std::string detection;
    std::optional<long long> updated;
    size_t read = 0;
};

// The longest line read as a probe line; the probe itself writes at most 2,046 bytes.
constexpr size_t kProbeLineReadLimit = 8192;

// Reads one line. False with a short `reason` when it is no probe line of schema 1. Where the
// build has the fast parser, it reads the line, and whatever it does not take plainly goes to
// the reference reader below.
bool ParseProbeLine(std::string_view line, ProbeRecord& record, std::string& reason);
// The same, with the reference reader alone (a stream of parser events, built everywhere): the
// fast parser must agree with it on every line.
bool ParseProbeLineReference(std::string_view line, ProbeRecord& record, std::string& reason);
