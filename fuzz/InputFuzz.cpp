// Reads arbitrary bytes the way the inspector reads an input file (a raw table, a dmidecode
// dump with its entry point, an RSMB buffer, a registry export) and walks both table sources.
// Must hold for any input: the reader reads only the input (the sanitizers watch that), the
// tables it finds lie within the bytes it kept, and the table saved as an rsmb file (--save)
// reads back as the same table.
#include "input/TableInput.h"
#include "inspection/Inspection.h"
#include "report/LiveReport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckSpan(const TableInput& input, TableSource source) {
    const TableInput::Span& span = input.SpanOf(source);
    Check(span.offset <= input.bytes.size() && span.length <= input.bytes.size() - span.offset);
    const Inspection inspection = Inspect(input.Table(source), input.Length(source));
    Check(inspection.result == 0 || inspection.result == 1);
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
