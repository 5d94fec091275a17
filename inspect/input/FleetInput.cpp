#include "input/FleetInput.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace {

constexpr size_t kExcerptLength = 120;
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

// The columns a detection export is read by, under the portal's and the Graph API's names.
enum Column { kDevice, kPre, kPost, kColumns };
struct ColumnName {
    Column column;
    const char* portal;
    const char* graph;
};
constexpr std::array<ColumnName, 3> kColumnNames = {{
    {kDevice, "Device name", "deviceName"},
    {kPre, "Pre-remediation detection output", "preRemediationDetectionScriptOutput"},
    {kPost, "Post-remediation detection output", "postRemediationDetectionScriptOutput"},
}};

class Reader {
  public:
    Reader(const std::string& name, ByteSource& source, FleetSink& sink, InputSummary& summary)
        : m_name(name), m_source(source), m_sink(sink), m_summary(summary) {}

    // One record's text as a probe line; `device` names the CSV's device, if any.
    void Offer(std::string_view text, size_t line, const std::string& device) {
        ProbeRecord record;
        std::string reason;
        if (ParseProbeLine(text, record, reason)) {
            if (record.machine.empty()) record.machine = device;
            ++m_summary.machines;
            m_sink.Machine(record);
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
            const std::string device = Printable(Trim(Field(fields, at[kDevice])), 256);
            if (!problem.empty()) {
                Refuse(first, device, problem, fields[0]);
                continue;
            }
            // The output after remediation, where there is one, is the machine's state now.
            std::string_view output = Trim(Field(fields, at[kPost]));
            if (output.empty()) output = Trim(Field(fields, at[kPre]));
            if (output.empty()) {
                Refuse(first, device, "no detection output", "");
                continue;
            }
            // The device-management product keeps the last line of the output.
            const size_t lastBreak = output.find_last_of('\n');
            if (lastBreak != std::string_view::npos) output = Trim(output.substr(lastBreak + 1));
            Offer(output, first, device);
        }
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

    // One CSV record: fields separated by commas, a field in double quotes may hold commas,
    // line breaks and doubled quotes. A record too long or with a quote left open gets a
    // `problem`; it is still read to its end so that the next one starts right.
    bool ReadRecord(std::vector<std::string>& fields, std::string& problem) {
        fields.assign(1, std::string());
        problem.clear();
        int c = m_source.Get();
        if (c < 0) return false;
        ++m_line;
        size_t length = 0;
        bool quoted = false;
        for (; c >= 0; c = m_source.Get()) {
            if (++length > kCsvRecordLimit && problem.empty())
                problem = "record longer than " + std::to_string(kCsvRecordLimit) + " bytes";
            if (c == '\n') ++m_line;
            if (quoted) {
                if (c != '"') {
                    Append(fields, c, problem);
                } else if (m_source.Peek() == '"') {
                    Append(fields, m_source.Get(), problem);
                } else {
                    quoted = false;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                if (problem.empty()) fields.emplace_back();
            } else if (c == '\n') {
                --m_line; // counted when the next record starts
                break;
            } else if (c != '\r') {
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

bool NamedCsv(const std::string& name) {
    return name.size() >= 4 && SameLetters(std::string_view(name).substr(name.size() - 4), ".csv");
}

// A CSV by its name, or by a header naming a device column.
bool LooksLikeCsv(const std::string& name, std::string_view ahead) {
    if (NamedCsv(name)) return true;
    if (ahead.empty() || ahead[0] == '{') return false;
    std::string first(ahead.substr(0, ahead.find('\n')));
    std::transform(first.begin(), first.end(), first.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return first.find("device name") != std::string::npos ||
           first.find("devicename") != std::string::npos;
}

} // namespace

InputSummary ReadFleetInput(const std::string& name, ByteSource& source, FleetSink& sink) {
    InputSummary summary;
    summary.name = name;
    std::string_view ahead = source.Ahead();
    if (StartsWith(ahead, "\xEF\xBB\xBF")) {
        for (int i = 0; i < 3; ++i)
            source.Get();
        ahead = source.Ahead();
    }
    if (StartsWith(ahead, "\xFF\xFE") || StartsWith(ahead, "\xFE\xFF")) {
        summary.error = "UTF-16 text: save it as UTF-8";
    } else if (StartsWith(ahead, "PK\x03\x04")) {
        summary.error = "a zip archive: extract the CSV file from it";
    } else {
        Reader reader(name, source, sink, summary);
        if (LooksLikeCsv(name, ahead))
            reader.Csv();
        else
            reader.ProbeLines();
    }
    if (summary.error.empty() && !source.Error().empty()) summary.error = source.Error();
    return summary;
}
