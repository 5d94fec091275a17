// The probe: the audit of one machine as exactly one line of compact JSON, short enough for
// what a device-management engine keeps of a script's output, with an exit status that says
// whether running VeskInfo would mend what it found.
#pragma once
#include "input/ProbeStatus.h"
#include "input/StoredValues.h"
#include "inspection/Inspection.h"

#include <cstddef>
#include <string>

// The longest line, in bytes without its end: the engines keep at most 2,048 characters, and
// PowerShell ends the line with CR LF.
constexpr size_t kProbeLineLimit = 2046;
constexpr int kProbeSchema = 1;

struct ProbeSubject {
    std::string machine; // UTF-8: the computer's name, or the table file's
    ProbeStatus status = ProbeStatus::Error;
    const StoredValues* stored = nullptr; // null where they could not be read
    const Inspection* expected = nullptr; // null where no table was walked
    const unsigned char* table = nullptr; // the bytes walked, for the model
    size_t length = 0;
    const char* source = nullptr; // the table source that answered
    std::string error;            // for ProbeStatus::Error; for NoTable, why (or empty)
    int version = 0; // the SMBIOS version the input states (major << 8 | minor); 0: none stated
    // An installed Windows read from its disk: the board of its last start (HardwareConfig), as
    // "last_board" {"uuid", "last_use"}, null where `lastBoardUuid` is empty; the member is left
    // out of every other line.
    bool lastBoardMember = false;
    std::string lastBoardUuid, lastBoardLastUse; // ASCII; an empty last use is null
};

// The line without its end: at most kProbeLineLimit bytes of ASCII. Where the texts make it
// longer, the longest are cut to the same length and end with U+2026, which no stored byte
// gives (bytes are written as the code points U+0000 to U+00FF).
std::string ProbeLine(const ProbeSubject& subject);
