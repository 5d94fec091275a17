#include "input/FleetInput.h"

#include "input/GraphPage.h"
#include "input/TextDecoding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>
#include <vector>

namespace {

constexpr size_t kExcerptLength = 120;
constexpr size_t kNameLength = 256;
constexpr size_t kColumnsNamed = 20;  // in the message refusing a CSV
constexpr size_t kErrorLength = 1024; // of a run's error text
constexpr size_t kStateLength = 64;   // of a detection state

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A text for a one-line message: control bytes as '?', cut to `limit` bytes.
std::string Printable(std::string_view text, size_t limit) {
    std::string out(text.substr(0, limit));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

const char kBom[] = "\xEF\xBB\xBF";
const char kBomInside[] = "a byte-order mark inside the file (files joined?)";

// A device's name as the export gives it, cut to a length that a report can show. Its bytes are
// kept as they are: they tell machines apart, and the report shows every one.
std::string Name(std::string_view field) {
    return std::string(Trim(field).substr(0, kNameLength));
}

// A header as the columns are compared: in lower case, without spaces, hyphens and underscores,
// so that the portal's words ("Pre-remediation detection output"), Graph's camelCase and the
// export jobs' PascalCase name the same column.
std::string ColumnKey(std::string_view header) {
    std::string key;
    for (const char c : Trim(header))
        if (c != ' ' && c != '-' && c != '_')
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// The columns a detection export is read by. Of the time columns, the first with a value counts.
enum Column {
    kDevice,
    kDeviceId,
    kPre,
    kPost,
    kPreError,
    kPostError,
    kDetection,
    kRemediation,
    kTime,
    kColumns
};
struct ColumnName {
    Column column;
    const char* key;
};
constexpr ColumnName kColumnNames[] = {
    {kDevice, "devicename"},
    {kDeviceId, "deviceid"},
    {kDeviceId, "intunedeviceid"},
    {kPre, "preremediationdetectionoutput"},
    {kPre, "preremediationdetectionscriptoutput"},
    {kPost, "postremediationdetectionoutput"},
    {kPost, "postremediationdetectionscriptoutput"},
    {kPreError, "preremediationdetectionerror"},
    {kPreError, "preremediationdetectionscripterror"},
    {kPostError, "postremediationdetectionerror"},
    {kPostError, "postremediationdetectionscripterror"},
    {kDetection, "detectionstate"},
    {kDetection, "detectionstatus"},
    {kRemediation, "remediationstate"},
    {kRemediation, "remediationstatus"},
    {kTime, "modifiedtime"},
    {kTime, "laststateupdatedatetime"},
    {kTime, "lastrun"},
    {kTime, "modified"},
    {kTime, "modifieddatetime"},
    {kTime, "lastmodifieddatetime"},
    {kTime, "lastmodified"},
};

// One remediation's run on one device, from an export row or a Graph page.
struct DeviceRun {
    std::string_view device, deviceId, pre, post, preError, postError, detection, remediation, time;
};

// Whether the output after remediation is the device's: where the remediation state says the
// remediation ran (it succeeded, or ran and did not mend), yes; where it says it did not (not
// needed, not run, or its script failed, when the detection after it is skipped), no. Without a
// state read, the output after remediation where there is one.
bool AfterRemediation(const DeviceRun& run) {
    const std::string state = ColumnKey(run.remediation);
    if (state == "success" || state == "remediationfailed") return true;
    if (state == "unknown" || state == "skipped" || state == "scripterror") return false;
    return !Trim(run.post).empty();
}

// Of an output of several lines, the last, as device management keeps it.
std::string_view LastLine(std::string_view output) {
    output = Trim(output);
    const size_t lastBreak = output.find_last_of('\n');
    if (lastBreak != std::string_view::npos) output = Trim(output.substr(lastBreak + 1));
    return output;
}

// What identifies a record's machine, for telling repeated records apart while their times
// wait for their file's order of day and month.
std::string Identity(const ProbeRecord& record, std::string_view time) {
    // An absent text is not an empty one.
    const auto part = [](const std::optional<std::string>& text) {
        return text ? std::string_view(*text) : std::string_view("\x01", 1);
    };
    std::string key;
    for (const std::string_view piece :
         {std::string_view(record.deviceId), part(record.uuid), part(record.serial),
          std::string_view(record.manufacturer), std::string_view(record.product),
          std::string_view(record.device), std::string_view(record.machine), time})
        key.append(piece).push_back('\x1f');
    return key;
}

class Reader {
  public:
    Reader(const std::string& name, ByteSource& source, FleetSink& sink, InputSummary& summary,
           DateOrder order)
        : m_name(name), m_source(source), m_sink(sink), m_summary(summary), m_order(order) {}

    // The records read, then those whose times waited for the file's order of day and month,
    // now that it is read.
    void Flush() {
        Deliver();
        const DateOrder order = m_order != DateOrder::Unsettled ? m_order : m_evidence.Settled();
        for (Waiting& waiting : m_waiting) {
            waiting.record.updated = TimeIn(waiting.time, order);
            if (!waiting.record.updated) NotRead(waiting.line, waiting.text, true);
            m_sink.Machine(std::move(waiting.record));
        }
        m_waiting.clear();
        m_waitingIndex.clear();
    }

    void ProbeLines() {
        m_summary.kind = "probe lines";
        std::string line;
        bool tooLong = false;
        while (m_source.Line(line, kProbeLineReadLimit, tooLong)) {
            ++m_line;
            const std::string_view text = Trim(line);
            if (text.empty() && !tooLong) continue;
            ++m_summary.lines;
            if (tooLong)
                Refuse(m_line, "", "longer than " + std::to_string(kProbeLineReadLimit) + " bytes",
                       line);
            else
                Offer(text, m_line, DeviceRun());
        }
    }

    void Csv() {
        m_summary.kind = "CSV";
        std::vector<std::string> fields;
        std::string problem;
        if (!ReadRecord(fields, problem) || !problem.empty()) {
            m_summary.error = problem.empty() ? "is empty" : "header: " + problem;
            return;
        }
        const size_t columns = fields.size();
        std::array<int, kColumns> at;
        at.fill(-1);
        std::vector<size_t> times;
        for (size_t i = 0; i < fields.size(); ++i) {
            const std::string key = ColumnKey(fields[i]);
            for (const ColumnName& name : kColumnNames)
                if (key == name.key) {
                    if (name.column == kTime)
                        times.push_back(i);
                    else if (at[name.column] < 0)
                        at[name.column] = static_cast<int>(i);
                    break;
                }
        }
        if (at[kDevice] < 0 || (at[kPre] < 0 && at[kPost] < 0)) {
            m_summary.error = "needs a device-name and a detection-output column; its columns: " +
                              ColumnList(fields);
            return;
        }
        // The portal names its columns in words; Graph and the export jobs in one word.
        const bool graph = Trim(fields[at[kDevice]]).find(' ') == std::string_view::npos;
        m_summary.kind = graph ? "CSV (Graph columns)" : "CSV (portal columns)";
        while (true) {
            const size_t first = m_line + 1;
            if (!ReadRecord(fields, problem)) break;
            if (fields.size() == 1 && Trim(fields[0]).empty() && problem.empty()) continue;
            ++m_summary.lines;
            if (problem.empty() && fields.size() > columns)
                problem = std::to_string(fields.size()) + " fields where the header has " +
                          std::to_string(columns);
            if (problem.empty() && StartsWith(fields[0], kBom)) problem = kBomInside;
            if (!problem.empty()) {
                Refuse(first, Name(Field(fields, at[kDevice])), problem, fields[0]);
                continue;
            }
            DeviceRun run{Field(fields, at[kDevice]),
                          Field(fields, at[kDeviceId]),
                          Field(fields, at[kPre]),
                          Field(fields, at[kPost]),
                          Field(fields, at[kPreError]),
                          Field(fields, at[kPostError]),
                          Field(fields, at[kDetection]),
                          Field(fields, at[kRemediation]),
                          {}};
            for (const size_t column : times)
                if (column < fields.size() && !Trim(fields[column]).empty()) {
                    run.time = fields[column];
                    break;
                }
            Run(run, first);
        }
    }

    void Graph() {
        m_summary.kind = "Graph page";
        m_summary.error = ReadGraphPage(m_source, [this](GraphRun&& graph) {
            ++m_summary.lines;
            if (!graph.problem.empty())
                return Refuse(graph.line, Name(graph.device), graph.problem, "");
            Run({graph.device, graph.deviceId, graph.pre, graph.post, graph.preError,
                 graph.postError, graph.detection, graph.remediation, graph.updated},
                graph.line);
        });
        // A page refused whole gives no machine, whatever it gave before it broke.
        if (!m_summary.error.empty())
            m_summary.lines = m_summary.machines = m_summary.refused = m_summary.timesNotRead =
                m_summary.timesInDoubt = 0;
    }

  private:
    struct Waiting {
        ProbeRecord record;
        TimeReading time;
        size_t line;
        std::string text;
    };

    // A device's run: its output as a probe line, or, where the detection gave none, a machine
    // of status `no-output` with the error the run gives.
    void Run(const DeviceRun& run, size_t line) {
        const bool after = AfterRemediation(run);
        const std::string_view output = LastLine(after ? run.post : run.pre);
        if (!output.empty()) return Offer(output, line, run);
        ProbeRecord& record = Next();
        record = ProbeRecord();
        record.status = ProbeStatus::NoOutput;
        record.error =
            std::string(Trim(after ? run.postError : run.preError).substr(0, kErrorLength));
        Take(record, run, line);
    }

    // One record's text as a probe line, from the input's run if any.
    void Offer(std::string_view text, size_t line, const DeviceRun& run) {
        ProbeRecord& record = Next();
        std::string reason;
        if (StartsWith(text, kBom))
            reason = kBomInside;
        else if (text.find('\0') != std::string_view::npos)
            reason = "holds a zero byte (UTF-16 read as bytes?)";
        else if (ParseProbeLine(text, record, reason))
            return Take(record, run, line);
        Refuse(line, Name(run.device), reason, text);
    }

    // A machine read: what the input says of it, and its time, which may have to wait for the
    // end of the file.
    void Take(ProbeRecord& record, const DeviceRun& run, size_t line) {
        record.device = Name(run.device);
        record.deviceId = Name(run.deviceId);
        record.detection = std::string(Trim(run.detection).substr(0, kStateLength));
        record.read = m_sink.NextRead();
        ++m_summary.machines;
        // The input's time, else the line's own (kept here: the record leaves without it).
        const std::string own = std::move(record.time).value_or("");
        record.time.reset();
        std::string_view text = Trim(run.time);
        if (text.empty()) text = Trim(own);
        if (text.empty()) return Add();
        const TimeReading time = ReadTime(text);
        m_evidence.Note(time);
        if (m_order == DateOrder::Unsettled && time.InDoubt())
            return Wait(record, time, line, text);
        record.updated = TimeIn(time, m_order);
        if (!record.updated) NotRead(line, text, false);
        Add();
    }

    // Records go to the sink in batches, in the order read. A batch's records are filled in
    // place, so that their texts' buffers serve the lines after them.
    ProbeRecord& Next() {
        if (m_batched == m_batch.size()) m_batch.emplace_back();
        return m_batch[m_batched];
    }

    // Takes the record filled in the batch's next place (Next).
    void Add() {
        if (++m_batched == kMachineBatch) Deliver();
    }

    void Deliver() {
        if (m_batched) m_sink.Machines(m_batch.data(), m_batched);
        m_batched = 0;
    }

    // Of the records of one identity and one time, only the last read waits: it is the one kept.
    void Wait(ProbeRecord& record, const TimeReading& time, size_t line, std::string_view text) {
        const auto [at, added] = m_waitingIndex.emplace(Identity(record, text), m_waiting.size());
        if (added)
            m_waiting.push_back({std::move(record), time, line, std::string(text)});
        else
            m_waiting[at->second].record = std::move(record);
    }

    void NotRead(size_t line, std::string_view text, bool inDoubt) {
        m_summary.timesInDoubt += inDoubt;
        if (m_summary.timesNotRead++ == 0 || line < m_summary.firstTimeLine) {
            m_summary.firstTimeLine = line;
            m_summary.firstTime = Printable(text, 60);
        }
    }

    void Refuse(size_t line, const std::string& device, const std::string& reason,
                std::string_view text) {
        ++m_summary.refused;
        Deliver(); // the records read before it reach the sink first, in the order read
        m_sink.Refused({m_name, line, device, reason, std::string(text.substr(0, kExcerptLength))});
    }

    static std::string_view Field(const std::vector<std::string>& fields, int index) {
        return index >= 0 && static_cast<size_t>(index) < fields.size()
                   ? std::string_view(fields[index])
                   : std::string_view();
    }

    static std::string ColumnList(const std::vector<std::string>& fields) {
        std::string list;
        for (size_t i = 0; i < fields.size() && i < kColumnsNamed; ++i)
            list += (i ? ", \"" : "\"") + Printable(Trim(fields[i]), 60) + "\"";
        if (fields.size() > kColumnsNamed)
            list += " and " + std::to_string(fields.size() - kColumnsNamed) + " more";
        return list;
    }

    // One CSV record: fields separated by commas; a field that begins with a double quote is
    // quoted, and may hold commas, line breaks and doubled quotes up to its closing quote; a
    // quote elsewhere is a character of its field. A record too long, with text after a closing
    // quote or with a quote left open gets a `problem`; it is still read to its end so that the
    // next one starts right.
    bool ReadRecord(std::vector<std::string>& fields, std::string& problem) {
        fields.assign(1, std::string());
        problem.clear();
        int c = m_source.Get();
        if (c < 0) return false;
        ++m_line;
        size_t length = 0;
        bool quoted = false, closed = false, fieldStart = true;
        for (; c >= 0; c = m_source.Get()) {
            if (++length > kCsvRecordLimit && problem.empty())
                problem = "record longer than " + std::to_string(kCsvRecordLimit) + " bytes";
            if (c == '\n') ++m_line;
            const bool started = fieldStart;
            fieldStart = false;
            if (quoted) {
                if (c != '"') {
                    Append(fields, c, problem);
                } else if (m_source.Peek() == '"') {
                    Append(fields, m_source.Get(), problem);
                } else {
                    quoted = false;
                    closed = true;
                }
            } else if (c == '"' && started) {
                quoted = true;
            } else if (c == ',') {
                if (problem.empty()) fields.emplace_back();
                fieldStart = true;
                closed = false;
            } else if (c == '\n') {
                --m_line; // counted when the next record starts
                break;
            } else if (c != '\r') {
                if (closed && problem.empty())
                    problem =
                        "text after the closing quote of field " + std::to_string(fields.size());
                Append(fields, c, problem);
            }
        }
        if (quoted && problem.empty()) problem = "a quoted field is not closed";
        return true;
    }

    static void Append(std::vector<std::string>& fields, int c, const std::string& problem) {
        if (problem.empty()) fields.back().push_back(static_cast<char>(c));
    }

    const std::string& m_name;
    ByteSource& m_source;
    FleetSink& m_sink;
    InputSummary& m_summary;
    DateOrder m_order;
    DateEvidence m_evidence;
    std::vector<ProbeRecord> m_batch;
    size_t m_batched = 0;
    std::vector<Waiting> m_waiting; // in the order read
    std::unordered_map<std::string, size_t> m_waitingIndex;
    size_t m_line = 0; // the lines begun so far
};

// A Graph page by its name, or by a first member that only a page has.
bool LooksLikeGraph(const std::string& name, std::string_view ahead) {
    if (Named(name, ".json")) return true;
    ahead = Trim(ahead);
    if (!StartsWith(ahead, "{")) return false;
    ahead = Trim(ahead.substr(1));
    return StartsWith(ahead, "\"value\"") || StartsWith(ahead, "\"@odata");
}

// A CSV by its name, or by a header naming a device column.
bool LooksLikeCsv(const std::string& name, std::string_view ahead) {
    if (Named(name, ".csv")) return true;
    if (ahead.empty() || ahead[0] == '{') return false;
    std::string first(ahead.substr(0, ahead.find('\n')));
    std::transform(first.begin(), first.end(), first.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return first.find("device name") != std::string::npos ||
           first.find("devicename") != std::string::npos;
}

void Read(const std::string& name, ByteSource& source, FleetSink& sink, InputSummary& summary,
          DateOrder order) {
    const std::string_view ahead = source.Ahead();
    if (IsFleetReport(ahead)) {
        summary.skipped = true;
        summary.kind = "a report of veskinfo-inspect: skipped";
        return;
    }
    if (StartsWith(ahead, "PK\x03\x04")) {
        summary.error = "a zip archive: extract the CSV file from it";
        return;
    }
    Reader reader(name, source, sink, summary, order);
    if (LooksLikeGraph(name, ahead))
        reader.Graph();
    else if (LooksLikeCsv(name, ahead))
        reader.Csv();
    else
        reader.ProbeLines();
    reader.Flush();
}

void Skip(ByteSource& source, size_t count) {
    for (size_t i = 0; i < count; ++i)
        source.Get();
}

} // namespace

bool Named(const std::string& name, std::string_view suffix) {
    return name.size() >= suffix.size() &&
           SameLetters(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

bool IsFleetReport(std::string_view first) {
    const size_t generator = first.substr(0, 1024).find(kReportGenerator);
    if (StartsWith(first, "<!DOCTYPE html>") && generator != std::string_view::npos) return true;
    if (StartsWith(first, kReportCsvStart)) return true;
    if (!StartsWith(first, kReportTextStart)) return false;
    first.remove_prefix(sizeof kReportTextStart - 1);
    const size_t digits = first.find_first_not_of("0123456789");
    const std::string_view rest = digits == std::string_view::npos ? "" : first.substr(digits);
    return digits > 0 && (StartsWith(rest, "\n  match: ") || StartsWith(rest, "\r\n  match: "));
}

InputSummary ReadFleetInput(const std::string& name, ByteSource& source, FleetSink& sink,
                            DateOrder order) {
    InputSummary summary;
    summary.name = name;
    const TextEncoding encoding = SniffEncoding(source.Ahead());
    switch (encoding) {
    case TextEncoding::Utf8:
        Read(name, source, sink, summary, order);
        break;
    case TextEncoding::Utf8Bom:
        Skip(source, 3);
        Read(name, source, sink, summary, order);
        break;
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        const bool bigEndian = encoding == TextEncoding::Utf16Be;
        Skip(source, 2);
        Utf16Source text(source, bigEndian);
        Read(name, text, sink, summary, order);
        if (summary.error.empty()) summary.error = text.Error();
        if (!summary.skipped) summary.kind += ", UTF-16";
        break;
    }
    case TextEncoding::Utf16NoBom:
        summary.error = "UTF-16 text without a byte-order mark: save it as UTF-8, or as UTF-16 "
                        "with a mark (PowerShell's Out-File writes one)";
        break;
    }
    if (summary.error.empty() && !source.Error().empty()) summary.error = source.Error();
    return summary;
}
