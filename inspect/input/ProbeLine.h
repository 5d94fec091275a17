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
constexpr std::array<const char*, 3> kProbeValueNames = {"manufacturer", "system_id",
                                                         "regulatory_id"};
constexpr int kProbeSystemId = 1;
constexpr int kProbeRegulatoryId = 2;
using ProbeValues = std::array<std::optional<std::string>, 3>; // nullopt: absent

struct ProbeRecord {
    std::string machine;
    ProbeStatus status = ProbeStatus::Error;
    ProbeValues stored;
    ProbeValues expected;
    std::string source;
    std::string manufacturer, product, family, sku; // the model, from the type-1 structure
    std::string error;                              // what an `error` line says, if anything
};

// The longest line read as a probe line; the probe itself writes at most 2,048 bytes.
constexpr size_t kProbeLineReadLimit = 8192;

// Reads one line. False with a short `reason` when it is no probe line of schema 1.
bool ParseProbeLine(std::string_view line, ProbeRecord& record, std::string& reason);
