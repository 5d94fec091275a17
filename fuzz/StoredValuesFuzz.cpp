// Reads arbitrary bytes as a registry export of VeskInfo's key, the way the audit does, in a
// single-byte and a double-byte code page, and audits the values against a fixed walk. Must
// hold for any input: only the input is read, a rejection is one line, and every value the
// audit reports as matching is present, readable and equal to the expected text. The probe's
// line over the values and the export's own table is one line of valid JSON within its limit.
#include "input/StoredValues.h"
#include "inspection/Audit.h"
#include "inspection/Inspection.h"
#include "platform/CodePage.h"
#include "report/JsonReport.h"
#include "report/Probe.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const Inspection& Expected() {
    static const std::vector<unsigned char> table = {0x01, 0x05, 0x00, 0x00, 0x01, 'A', 0, 0};
    static const Inspection inspection = Inspect(table);
    return inspection;
}

void AuditOnce(const std::vector<unsigned char>& bytes, const CodePage& codePage) {
    StoredValues stored;
    std::string error;
    if (!ReadStoredValues(bytes, codePage, stored, error)) {
        Check(!error.empty() && error.find('\n') == std::string::npos);
        return;
    }
    const AuditResult audit = Audit(stored, Expected(), nullptr, TableSource::Wmi);
    for (const AuditLine& line : audit.lines) {
        if (!line.match) {
            Check(!line.reason.empty());
            continue;
        }
        Check(line.stored->present && line.stored->problem.empty());
        Check(line.stored->text == line.expected);
    }
    std::vector<unsigned char> table;
    if (FindSMBiosData(stored.file, table, error)) Check(!table.empty());
    const Inspection walk = Inspect(table);
    const std::string line = ProbeLine({BytesAsUtf8(stored.key), ProbeStatusOf(stored, walk, false),
                                        &stored, &walk, table.data(), table.size(), nullptr, ""});
    Check(line.size() <= kProbeLineLimit && line.find('\n') == std::string::npos);
    Check(Json::accept(line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return 0;
    static CodePage western, japanese;
    static bool opened = [] {
        std::string error;
        return western.Open(1252, error) && japanese.Open(932, error);
    }();
    Check(opened);
    const std::vector<unsigned char> bytes(data, data + size);
    AuditOnce(bytes, western);
    AuditOnce(bytes, japanese);
    return 0;
}
