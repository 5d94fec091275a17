// Reads arbitrary bytes the way the inspector reads an input file (a raw table, a dmidecode
// dump with its entry point, an RSMB buffer, a registry export) and walks both table sources.
// Must hold for any input: the reader reads only the input (the sanitizers watch that), the
// tables it finds lie within the bytes it kept, and the table saved as an rsmb file (--save)
// reads back as the same table. A batch record is what the JSON library writes for the same
// members as the single input's report: parsed and written again, the same bytes.
#include "input/TableInput.h"
#include "inspection/Inspection.h"
#include "report/JsonReport.h"
#include "report/LiveReport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckRecord(const TableInput& input, TableSource source, const Inspection& inspection) {
    std::string line;
    WriteBatchRecord(line, input, source, inspection, "completed");
    Check(!line.empty() && line.back() == '\n');
    line.pop_back();
    const Json record = Json::parse(line, nullptr, false);
    Check(!record.is_discarded() && record.dump(-1, ' ', true) == line);
    const Json full = InputJson(input, source, inspection, nullptr);
    for (const auto& member : record.items())
        Check(member.key() == "status" ||
              (full.contains(member.key()) && full.at(member.key()) == member.value()));
}

void CheckSpan(const TableInput& input, TableSource source) {
    const TableInput::Span& span = input.SpanOf(source);
    Check(span.offset <= input.bytes.size() && span.length <= input.bytes.size() - span.offset);
    const Inspection inspection = Inspect(input.Table(source), input.Length(source));
    Check(inspection.result == 0 || inspection.result == 1);
    CheckRecord(input, source, inspection);
}

void CheckSaved(const TableInput& input) {
    TableInput saved;
    saved.bytes = RsmbFileOf(input, TableSource::Wmi, nullptr);
    std::string error;
    Check(RecogniseTable(saved, false, error) && saved.format == InputFormat::Rsmb);
    Check(saved.Length(TableSource::Wmi) == input.Length(TableSource::Wmi));
    Check(saved.Length(TableSource::Wmi) == 0 ||
          std::memcmp(saved.Table(TableSource::Wmi), input.Table(TableSource::Wmi),
                      saved.Length(TableSource::Wmi)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return 0;
    for (const bool regExport : {false, true}) {
        TableInput input;
        input.bytes.assign(data, data + size);
        std::string error;
        if (!RecogniseTable(input, regExport, error)) {
            Check(!error.empty() && error.find('\n') == std::string::npos);
            continue;
        }
        Check(error.empty());
        if (input.format == InputFormat::DmidecodeDump)
            Check(input.dump.offset == input.wmi.offset && input.dump.offset < size);
        CheckSpan(input, TableSource::Wmi);
        CheckSpan(input, TableSource::Registry);
        CheckSaved(input);
    }
    return 0;
}
