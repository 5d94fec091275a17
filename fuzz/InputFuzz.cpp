// Reads arbitrary bytes the way the inspector reads an input file (a raw table, a dmidecode
// dump with its entry point, an RSMB buffer, a registry export) and walks both table sources.
// Must hold for any input: the reader reads only the input (the sanitizers watch that), and the
// tables it finds lie within the bytes it kept.
#include "Inspection.h"
#include "TableInput.h"

#include <cstdint>
#include <cstdlib>

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
    }
    return 0;
}
