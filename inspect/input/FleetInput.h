// The results collected from a fleet: files of probe lines, one per line; device-management
// exports as CSV, with a device-name column and the detection script's output before and after
// remediation (the portal's, the Graph API's or the export jobs' column names); and the Graph
// API's pages of a remediation's runs as JSON. UTF-8 with or without a byte-order mark, or
// UTF-16 with one. Each file is read a record at a time; every machine read and every record
// refused goes to a FleetSink. A run or row whose detection gave no output is a machine too, of
// status `no-output`.
#pragma once
#include "input/ByteSource.h"
#include "input/FleetInputTime.h"
#include "input/ProbeLine.h"

#include <string>
#include <string_view>

// A line that gave no machine, and why.
struct RefusedLine {
    std::string input;
    size_t line = 0;    // its first line in the file, from 1
    std::string device; // the CSV's device name, if the line came from a CSV
    std::string reason;
    std::string excerpt; // its first bytes
};

// The most records a reader gives a sink at once.
constexpr size_t kMachineBatch = 16;

class FleetSink {
  public:
    virtual ~FleetSink() = default;
    virtual void Machine(ProbeRecord&& record) = 0;
    // Records in the order read, `count` of them; a sink may take them one by one, as here, or
    // look ahead among them. It may leave them as they are or move from them.
    virtual void Machines(ProbeRecord* records, size_t count) {
        for (size_t i = 0; i < count; ++i)
            Machine(std::move(records[i]));
    }
    virtual void Refused(RefusedLine&& refused) = 0;
    // Counts a record as read: a record waiting for its file's order of day and month reaches
    // Machine later than the records read after it, and keeps its place by this number.
    size_t NextRead() { return ++m_reads; }

  private:
    size_t m_reads = 0;
};

// What one input gave. An `error` means the whole file was refused (not read, a CSV without
// the columns needed, an archive); its lines, if any, are then not counted.
struct InputSummary {
    std::string name;
    std::string kind;     // "probe lines", "CSV (portal columns)", "Graph page", ... and ", UTF-16"
    bool skipped = false; // a report this program wrote: not read
    size_t lines = 0;     // records read: probe lines, CSV rows below the header, Graph runs
    size_t machines = 0;
    size_t refused = 0;
    std::string error;
    // Times given but not read (not understood, or day and month in doubt), the first of them.
    size_t timesNotRead = 0;
    size_t timesInDoubt = 0;
    size_t firstTimeLine = 0;
    std::string firstTime;
};

// True when the file name `name` ends in `suffix` (".csv"), in either case.
bool Named(const std::string& name, std::string_view suffix);

InputSummary ReadFleetInput(const std::string& name, ByteSource& source, FleetSink& sink,
                            DateOrder order = DateOrder::Unsettled);

// The longest CSV record read; a longer one is refused and skipped.
constexpr size_t kCsvRecordLimit = 1 << 16;

// What the report's writers put in, so that a report is never read back as an input: the HTML
// file's generator, the CSV file's first cells, the text summary's first line.
constexpr char kReportGenerator[] = "<meta name=\"generator\" content=\"veskinfo-inspect report\">";
constexpr char kReportCsvStart[] = "\"Device name\",\"Probe name\",\"Serial number\"";
constexpr char kReportTextStart[] = "Machines: ";
// True when `first`, a file's first bytes after a byte-order mark, are a report's.
bool IsFleetReport(std::string_view first);
