// The results collected from a fleet: files of probe lines, one per line, and device-management
// exports as CSV, with a device-name column and the detection script's output before and after
// remediation (the portal's or the Graph API's column names). Each file is read a record at a
// time; every machine read and every line refused goes to a FleetSink.
#pragma once
#include "input/ByteSource.h"
#include "input/ProbeLine.h"

#include <string>

// A line that gave no machine, and why.
struct RefusedLine {
    std::string input;
    size_t line = 0;    // its first line in the file, from 1
    std::string device; // the CSV's device name, if the line came from a CSV
    std::string reason;
    std::string excerpt; // its first bytes
};

class FleetSink {
  public:
    virtual ~FleetSink() = default;
    virtual void Machine(const ProbeRecord& record) = 0;
    virtual void Refused(RefusedLine&& refused) = 0;
};

// What one input gave. An `error` means the whole file was refused (not read, a CSV without
// the columns needed, an archive); its lines, if any, are then not counted.
struct InputSummary {
    std::string name;
    std::string kind; // "probe lines", "CSV (portal columns)", "CSV (Graph columns)"
    size_t lines = 0; // records read: probe lines, or CSV rows below the header
    size_t machines = 0;
    size_t refused = 0;
    std::string error;
};

InputSummary ReadFleetInput(const std::string& name, ByteSource& source, FleetSink& sink);

// The longest CSV record read; a longer one is refused and skipped.
constexpr size_t kCsvRecordLimit = 1 << 16;
