// A page of a remediation's runs as the Graph API answers it and an administrator saves it:
// {"value":[{run}, ...],"@odata.nextLink":"..."}, each run with its detection outputs and their
// errors, its detection and remediation states, the time of its last update and, expanded, the
// managed device with its id and name. The page is read as a
// stream of parser events, a run at a time: a page of ten thousand runs is never held whole.
#pragma once
#include "input/ByteSource.h"

#include <functional>
#include <string>

// One run of the page, or what kept it from being read.
struct GraphRun {
    size_t line = 0;                    // where it begins, from 1
    std::string device, deviceId;       // managedDevice's deviceName and id
    std::string pre, post;              // the detection outputs before and after remediation
    std::string preError, postError;    // the detection scripts' errors, before and after
    std::string detection, remediation; // detectionState, remediationState
    std::string updated;                // lastStateUpdateDateTime, as written
    std::string problem;                // not empty: the run cannot be read, for this reason
};

// Reads the page, giving each run to `run` as it ends. A page that breaks off (cut short, or
// no JSON from some point on) gives a last run with the problem and the line where it broke.
// Returns an error when the file is no page at all ("value" missing or not an array).
std::string ReadGraphPage(ByteSource& source, const std::function<void(GraphRun&&)>& run);

// The longest text, key or number read (checked a 64 KiB block at a time, so at most one block
// more is held): a longer one ends the page there, as a page that breaks off does (a probe line
// is far shorter).
constexpr size_t kGraphTokenLimit = 1 << 16;

// Nesting the reader follows; a run nested deeper is refused, and the page is read on.
constexpr int kGraphDepthLimit = 64;
