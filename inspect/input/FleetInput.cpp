#include "input/FleetInput.h"

#include "input/GraphPage.h"
#include "input/TextDecoding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace {

constexpr size_t kExcerptLength = 120;
constexpr size_t kNameLength = 256;
constexpr size_t kColumnsNamed = 20; // in the message refusing a CSV

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

// The columns a detection export is read by, under the portal's and the Graph API's names (the
// export jobs' PascalCase names are the Graph API's, compared without case).
enum Column { kDevice, kPre, kPost, kTime, kColumns };
struct ColumnName {
    Column column;
    const char* portal;
    const char* graph;
};
constexpr std::array<ColumnName, 6> kColumnNames = {{
    {kDevice, "Device name", "deviceName"},
    {kPre, "Pre-remediation detection output", "preRemediationDetectionScriptOutput"},
    {kPost, "Post-remediation detection output", "postRemediationDetectionScriptOutput"},
    {kTime, "Last run", "lastStateUpdateDateTime"},
    {kTime, "Modified", "modifiedDateTime"},
    {kTime, "Last modified", "lastModifiedDateTime"},
}};

// The output a run leaves for device management: after remediation where there is one (the
// machine's state now), else before; of several lines, the last, as the product keeps it.
std::string_view LastOutput(std::string_view pre, std::string_view post) {
    std::string_view output = Trim(post);
    if (output.empty()) output = Trim(pre);
    const size_t lastBreak = output.find_last_of('\n');
    if (lastBreak != std::string_view::npos) output = Trim(output.substr(lastBreak + 1));
    return output;
}

class Reader {
  public:
    Reader(const std::string& name, ByteSource& source, FleetSink& sink, InputSummary& summary)
        : m_name(name), m_source(source), m_sink(sink), m_summary(summary) {}

    // One record's text as a probe line; `device` names the export's device, if any, and
    // `updated` is the record's time stamp.
    void Offer(std::string_view text, size_t line, const std::string& device,
               std::string_view updated = {}) {
        ProbeRecord record;
        std::string reason;
        if (StartsWith(text, kBom)) {
            reason = kBomInside;
        } else if (text.find('\0') != std::string_view::npos) {
            reason = "holds a zero byte (UTF-16 read as bytes?)";
        } else if (ParseProbeLine(text, record, reason)) {
            record.device = device;
            record.updated = ParseTimeStamp(Trim(updated));
            ++m_summary.machines;
            m_sink.Machine(std::move(record));
            return;
        }
        Refuse(line, device, reason, text);
    }

    void Refuse(size_t line, const std::string& device, const std::string& reason,
                std::string_view text) {
        ++m_summary.refused;
        m_sink.Refused({m_name, line, device, reason, std::string(text.substr(0, kExcerptLength))});
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
                Offer(text, m_line, "");
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
        bool graph = false;
        for (size_t i = 0; i < fields.size(); ++i)
            for (const ColumnName& name : kColumnNames) {
                const std::string_view field = Trim(fields[i]);
                if (at[name.column] >= 0) continue;
                if (SameLetters(field, name.portal) || SameLetters(field, name.graph))
                    at[name.column] = static_cast<int>(i);
                if (SameLetters(field, name.graph)) graph = true;
            }
        if (at[kDevice] < 0 || (at[kPre] < 0 && at[kPost] < 0)) {
            m_summary.error = "needs a device-name and a detection-output column; its columns: " +
                              ColumnList(fields);
            return;
        }
        m_summary.kind = graph ? "CSV (Graph columns)" : "CSV (portal columns)";
        while (true) {
            const size_t first = m_line + 1;
            if (!ReadRecord(fields, problem)) break;
            if (fields.size() == 1 && Trim(fields[0]).empty() && problem.empty()) continue;
            ++m_summary.lines;
            const std::string device = Name(Field(fields, at[kDevice]));
            if (problem.empty() && fields.size() > columns)
                problem = std::to_string(fields.size()) + " fields where the header has " +
                          std::to_string(columns);
            if (problem.empty() && StartsWith(fields[0], kBom)) problem = kBomInside;
            if (!problem.empty()) {
                Refuse(first, device, problem, fields[0]);
                continue;
            }
            const std::string_view output =
                LastOutput(Field(fields, at[kPre]), Field(fields, at[kPost]));
            if (output.empty()) {
                Refuse(first, device, "no detection output", "");
                continue;
            }
            Offer(output, first, device, Field(fields, at[kTime]));
        }
    }

    void Graph() {
        m_summary.kind = "Graph page";
        m_summary.error = ReadGraphPage(m_source, [this](GraphRun&& run) {
            ++m_summary.lines;
            const std::string device = Name(run.device);
            const std::string_view output = LastOutput(run.pre, run.post);
            if (!run.problem.empty())
                Refuse(run.line, device, run.problem, "");
            else if (output.empty())
                Refuse(run.line, device, "no detection output", "");
            else
                Offer(output, run.line, device, run.updated);
        });
        // A page refused whole gives no machine, whatever it gave before it broke.
        if (!m_summary.error.empty()) m_summary.lines = m_summary.machines = m_summary.refused = 0;
    }

  private:
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

void Read(const std::string& name, ByteSource& source, FleetSink& sink, InputSummary& summary) {
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
    Reader reader(name, source, sink, summary);
    if (LooksLikeGraph(name, ahead))
        reader.Graph();
    else if (LooksLikeCsv(name, ahead))
        reader.Csv();
    else
        reader.ProbeLines();
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

namespace {

// Reads a number of 1 to `most` digits at `at`.
bool Digits(std::string_view text, size_t& at, size_t most, int& value) {
    size_t count = 0;
    value = 0;
    for (; at < text.size() && count < most && std::isdigit(static_cast<unsigned char>(text[at]));
         ++at, ++count)
        value = value * 10 + (text[at] - '0');
    return count > 0;
}

bool Take(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long Days(int year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long ofEra = year - era * 400;
    const long long ofYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + ofEra * 365 + ofEra / 4 - ofEra / 100 + ofYear - 719468;
}

} // namespace

std::optional<long long> ParseTimeStamp(std::string_view text) {
    int year, month, day, hour = 0, minute = 0, second = 0, skipped;
    size_t at = 0;
    long long offset = 0;
    const bool iso = Digits(text, at, 4, year) && at == 4 && Take(text, at, '-');
    if (iso) {
        if (!Digits(text, at, 2, month) || !Take(text, at, '-') || !Digits(text, at, 2, day))
            return std::nullopt;
        if (!Take(text, at, 'T') && !Take(text, at, ' ')) return std::nullopt;
    } else {
        at = 0;
        if (!Digits(text, at, 2, month) || !Take(text, at, '/') || !Digits(text, at, 2, day) ||
            !Take(text, at, '/') || !Digits(text, at, 4, year) || !Take(text, at, ' '))
            return std::nullopt;
    }
    if (!Digits(text, at, 2, hour) || !Take(text, at, ':') || !Digits(text, at, 2, minute))
        return std::nullopt;
    if (Take(text, at, ':') && !Digits(text, at, 2, second)) return std::nullopt;
    if (Take(text, at, '.') && !Digits(text, at, 9, skipped)) return std::nullopt;
    const std::string_view rest = text.substr(at);
    if (iso && (rest == "Z" || rest.empty())) {
    } else if (iso && rest.size() >= 3 && (rest[0] == '+' || rest[0] == '-')) {
        size_t zone = 1;
        int zoneHour, zoneMinute = 0;
        if (!Digits(rest, zone, 2, zoneHour)) return std::nullopt;
        Take(rest, zone, ':');
        if (zone < rest.size() && (!Digits(rest, zone, 2, zoneMinute) || zone != rest.size()))
            return std::nullopt;
        offset = (rest[0] == '+' ? 1 : -1) * (zoneHour * 3600LL + zoneMinute * 60LL);
    } else if (!iso && (SameLetters(rest, " PM") || SameLetters(rest, " AM"))) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (SameLetters(rest, " PM") ? 12 : 0);
    } else if (iso || !rest.empty()) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    return Days(year, month, day) * 86400 + hour * 3600LL + minute * 60LL + second - offset;
}

InputSummary ReadFleetInput(const std::string& name, ByteSource& source, FleetSink& sink) {
    InputSummary summary;
    summary.name = name;
    const TextEncoding encoding = SniffEncoding(source.Ahead());
    switch (encoding) {
    case TextEncoding::Utf8:
        Read(name, source, sink, summary);
        break;
    case TextEncoding::Utf8Bom:
        Skip(source, 3);
        Read(name, source, sink, summary);
        break;
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        const bool bigEndian = encoding == TextEncoding::Utf16Be;
        Skip(source, 2);
        Utf16Source text(source, bigEndian);
        Read(name, text, sink, summary);
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
