// Reads arbitrary bytes as a registry hive file, through hivex, the way the depot audit does:
// as a SOFTWARE hive's stored values, a SYSTEM hive's registry copy of the table and computer
// name. Must hold for any input: only the file is read (the sanitizers watch our side), a
// rejection is one line, a table found lies within the value read, a stored text holds no
// terminator, the computer's name is UTF-8, and the probe's line over them is valid JSON
// within its limit. The seeds in corpus-hive are written by bench/make_depot.
#include "input/Hive.h"
#include "inspection/Audit.h"
#include "inspection/Inspection.h"
#include "report/JsonReport.h"
#include "report/Probe.h"

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckError(const std::string& error) {
    Check(!error.empty() && error.find('\n') == std::string::npos);
}

// hivex opens hives by name: the input is written to an in-memory file, named through /proc.
struct MemoryFile {
    int fd = memfd_create("hive", MFD_CLOEXEC);
    std::string path = "/proc/self/fd/" + std::to_string(fd);
};

const MemoryFile& HiveFile() {
    static const MemoryFile file;
    Check(file.fd >= 0);
    return file;
}

bool WriteInput(const uint8_t* data, size_t size) {
    const int fd = HiveFile().fd;
    return ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size);
}

void ReadTable(const std::string& path) {
    TableInput table;
    std::string error;
    if (!ReadHiveTable(path, table, error)) return CheckError(error);
    Check(table.format == InputFormat::Hive && !table.bytes.empty());
    for (const TableSource source : {TableSource::Wmi, TableSource::Registry}) {
        const TableInput::Span& span = table.SpanOf(source);
        Check(span.offset <= table.bytes.size() && span.length <= table.bytes.size() - span.offset);
    }
}

void ReadStored(const std::string& path, const CodePage& codePage) {
    StoredValues stored;
    bool only64 = false;
    std::string error;
    if (!ReadHiveStoredValues(path, codePage, stored, only64, error)) return CheckError(error);
    // A text is read up to its terminator: no zero byte in it.
    for (const StoredValue& value : stored.values)
        Check(!value.problem.empty() || value.text.find('\0') == std::string::npos);
    static const std::vector<unsigned char> table = {0x01, 0x05, 0x00, 0x00, 0x01, 'A', 0, 0};
    const Inspection walk = Inspect(table);
    const std::string line =
        ProbeLine({BytesAsUtf8(stored.key), ProbeStatusOf(stored, walk, only64), &stored, &walk,
                   table.data(), table.size(), nullptr, ""});
    Check(line.size() <= kProbeLineLimit && Json::accept(line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20 || !WriteInput(data, size)) return 0;
    static CodePage western;
    static const bool opened = [] {
        std::string error;
        return western.Open(1252, error);
    }();
    Check(opened);
    const std::string& path = HiveFile().path;
    ReadStored(path, western);
    ReadTable(path);
    Json(ReadHiveComputerName(path)).dump(); // throws, and so stops the run, unless UTF-8
    return 0;
}
