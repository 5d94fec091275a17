#include "commands/Batch.h"

#include "commands/Commands.h"
#include "platform/Platform.h"

#include "inspection/Inspection.h"
#include "inspection/Status.h"
#include "report/JsonReport.h"
#include "report/Report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>

namespace fs = std::filesystem;

namespace {

constexpr size_t kProgressAbove = 100;

// What one input gave.
struct Record {
    const char* format = nullptr; // null when nothing was read
    int status = kCompleted;
    Inspection inspection;
    std::string message; // the error, or why the walk was cut short
};

Record RunOne(const BatchItem& item, const BatchOptions& options, TableInput& input) {
    Record record;
    std::string error = item.error;
    const TableSource source = options.source;
    if (error.empty() && ReadTableInput(item.path, input, error)) {
        record.format = FormatName(input.format);
        record.inspection = Inspect(input.Table(source), input.Length(source));
        if (record.inspection.result == 0) {
            record.status = kCutShort;
            record.message = CutShortReason(record.inspection);
        }
        return record;
    }
    if (input.read) record.format = FormatName(input.format);
    record.status = kBadInput;
    record.message = error;
    return record;
}

const char* StatusName(int status) {
    return status == kCompleted ? "completed" : status == kCutShort ? "cut-short" : "unreadable";
}

void WriteHeader(std::ostream& out, const BatchOptions& options) {
    if (options.json) return;
    if (!options.field.empty()) {
        out << "input\t" << options.field << "\n";
        return;
    }
    out << "input\tformat\tstatus\tmanufacturer\tsystem_id\tregulatory_id\tmanufacturer_source\t"
           "system_id_source\tregulatory_id_source\tmessage\n";
}

void WriteRecord(std::ostream& out, const BatchItem& item, const TableInput& input,
                 const Record& record, const BatchOptions& options) {
    const bool unreadable = record.status == kBadInput;
    if (options.json) {
        std::string line;
        if (unreadable)
            WriteErrorRecord(line, item.path, record.format, record.message);
        else
            WriteBatchRecord(line, input, options.source, record.inspection,
                             StatusName(record.status));
        out << line;
        return;
    }
    out << EscapeC(item.path);
    if (!options.field.empty()) {
        out << "\t"
            << (unreadable ? "" : EscapeC(ValueText(record.inspection, FieldOf(options.field))))
            << "\n";
        return;
    }
    out << "\t" << (record.format ? record.format : "") << "\t" << StatusName(record.status);
    for (const IdentityField field : kFields)
        out << "\t" << (unreadable ? "" : EscapeC(ValueText(record.inspection, field)));
    for (const IdentityField field : kFields)
        out << "\t" << (unreadable ? "" : ValueSourceName(record.inspection.ValueOf(field).source));
    out << "\t" << EscapeC(record.message) << "\n";
}

class Summary {
  public:
    void Add(const Record& record) {
        ++m_inputs;
        ++m_statuses[record.status];
        if (record.status == kBadInput) return;
        for (const IdentityField field : kFields)
            ++m_sources[static_cast<int>(field)][record.inspection.ValueOf(field).source];
    }

    void Write(std::ostream& err) const {
        err << "veskinfo-inspect: " << m_inputs << " inputs: " << Count(kCompleted)
            << " completed, " << Count(kCutShort) << " cut short, " << Count(kBadInput)
            << " unreadable";
        for (const IdentityField field : kFields) {
            err << "; " << JsonFieldName(field) << ":";
            const char* separator = " ";
            for (const auto& [source, count] : m_sources[static_cast<int>(field)]) {
                err << separator << count << " " << ValueSourceName(source);
                separator = ", ";
            }
            if (m_sources[static_cast<int>(field)].empty()) err << " none";
        }
        err << "\n";
    }

  private:
    size_t Count(int status) const {
        const auto it = m_statuses.find(status);
        return it == m_statuses.end() ? 0 : it->second;
    }

    size_t m_inputs = 0;
    std::map<int, size_t> m_statuses;
    std::map<ValueSource, size_t> m_sources[3];
};

// "\rveskinfo-inspect: 120/1000" whenever another hundredth is done; cleared at the end.
class Progress {
  public:
    Progress(std::ostream& err, size_t total, bool shown)
        : m_err(err), m_total(total), m_shown(shown && total > kProgressAbove) {}
    void Finish() {
        if (m_shown) m_err << "\r" << std::string(40, ' ') << "\r" << std::flush;
    }
    void Done(size_t done) {
        if (!m_shown || done * 100 / m_total == m_percent) return;
        m_percent = done * 100 / m_total;
        m_err << "\rveskinfo-inspect: " << done << "/" << m_total << std::flush;
    }

  private:
    std::ostream& m_err;
    size_t m_total, m_percent = 0;
    bool m_shown;
};

} // namespace

int RunBatch(const std::vector<BatchItem>& items, const BatchOptions& options, std::ostream& out,
             std::ostream& err) {
    WriteHeader(out, options);
    Summary summary;
    Progress progress(err, items.size(), options.progress);
    int worst = kCompleted;
    for (size_t i = 0; i < items.size(); ++i) {
        TableInput input;
        const Record record = RunOne(items[i], options, input);
        WriteRecord(out, items[i], input, record, options);
        summary.Add(record);
        worst = WorseStatus(worst, record.status);
        progress.Done(i + 1);
    }
    out.flush();
    progress.Finish();
    summary.Write(err);
    return worst;
}

bool IsBatch(const Options& o) {
    if (o.inputs.size() > 1) return true;
    std::error_code error;
    return o.inputs.size() == 1 && o.inputs[0] != "-" &&
           std::filesystem::is_directory(std::filesystem::u8path(o.inputs[0]), error);
}

int RunBatchOf(const Options& o) {
    if (o.explain) return BadUse("--explain takes one input");
    if (!o.save.empty()) return BadUse("--save takes one input");
    if (o.source == "firmware")
        return BadUse("--source firmware is this machine's own table: name no input");
    BatchOptions options;
    options.json = o.json;
    options.source = o.Source();
    options.progress = StandardErrorIsTerminal();
    options.field = o.field;
    return RunBatch(ExpandInputs(o.inputs), options, std::cout, std::cerr);
}
