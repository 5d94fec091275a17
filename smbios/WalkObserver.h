// Hooks that let a tool follow the table walk and the finalisation: which structures were
// walked, which strings were read, where each identity value came from, and every irregularity
// met on the way. The walk calls them only when it is given an observer; the program gives none,
// so its behaviour and speed do not depend on them.
#pragma once

// Where an identity value, or a candidate for one, comes from.
enum class ValueSource {
    ManufacturerString, // the manufacturer string of a type-1 structure
    OemSystemId,        // the text after "1[" in an OEM string
    Type208,            // bytes 8 and 9 of a type-208 structure
    OemRegulatoryId,    // the text after "13[" in an OEM string
    Fallback,           // nothing found: empty, "0" or "00000"
};

enum class IdentityField { Manufacturer, SystemId, RegulatoryId };

enum class WalkAnomaly {
    TruncatedStructure,     // a byte the walk needs lies outside the table: the walk stops
    UnterminatedStructure,  // no closing zeros after the last structure: the walk ends there
    StringNumberOutOfRange, // a manufacturer string number beyond the strings: the walk stops
    MarkerWithoutBracket,   // no "]" after a marker: the candidate takes the rest of the string
    OverLongString,         // 128 characters or more: only the first 127 are used
};

// Short names for reports and tools ("manufacturer-string", "truncated-structure", ...).
const char* ValueSourceName(ValueSource source);
const char* WalkAnomalyName(WalkAnomaly anomaly);

// Offsets count from the table's first byte; string numbers from 1 (0: not a string).
class WalkObserver {
  public:
    virtual ~WalkObserver() = default;

    // A structure reached by the walk; `handle` is -1 when it lies outside the formatted area
    // or the table.
    virtual void OnStructure(int /*offset*/, int /*type*/, int /*length*/, int /*handle*/) {}
    // A string read from a type-1 or type-11 structure, as the walk uses it (cut to 127).
    virtual void OnString(int /*offset*/, int /*number*/, const char* /*text*/) {}
    // A candidate taken; a later one of the same source replaces it.
    virtual void OnCandidate(ValueSource /*source*/, int /*offset*/, int /*number*/,
                             const char* /*text*/) {}
    virtual void OnAnomaly(WalkAnomaly /*anomaly*/, int /*offset*/, int /*number*/) {}
    // The value the finalisation gives a field, and the candidate (or fall-back) it came from.
    virtual void OnValue(IdentityField /*field*/, ValueSource /*source*/, const char* /*text*/) {}
};
