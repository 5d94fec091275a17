// Reads arbitrary bytes as a registry hive file, through hivex, the way the depot audit does:
// as a SOFTWARE hive's stored values, and as a SYSTEM hive's computer name, boards and registry
// copy of the table. Then reads a hive and a transaction log cut from the input, the log beside
// the hive as Windows leaves it, so that the recovery runs through the depot's own path:
//   byte 0    bit 0: the log is NAME.LOG (else NAME.LOG1); bit 1: the same log as NAME.LOG2 too;
//             bit 2: its entries' hashes and its base block's checksum made right (so that
//             mutations reach the replay); bit 3: the hive's checksum made right
//   bytes 1-2 the hive's length, in units of 16 bytes (little-endian); then the hive, the log.
// Must hold for any input: only the files are read (the sanitizers watch our side), a rejection
// is one line, a table found lies within the value read, a stored text holds no terminator, the
// computer's name and the boards' texts are UTF-8, and the probe's line over them is valid JSON
// within its limit. The seeds in corpus-hive are written by fuzz/make_inspect_corpus.py.
#include "input/Hive.h"
#include "input/HiveLog.h"
#include "inspection/Audit.h"
#include "inspection/Inspection.h"
#include "report/JsonReport.h"
#include "report/Probe.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
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

bool WriteInput(int fd, const uint8_t* data, size_t size) {
    return ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size);
}

void CheckRecovery(const HiveRecovery& recovery) {
    Check(recovery.writes.empty()); // they pointed into logs that are gone
    const std::string text = HiveRecoveryText(recovery);
    Check(!text.empty() && text.find('\n') == std::string::npos);
}

void ReadSystem(const std::string& path) {
    SystemHive system;
    std::string error;
    if (!ReadSystemHive(path, system, error)) return CheckError(error);
    CheckRecovery(system.recovery);
    Json(system.computerName).dump(); // throws, and so stops the run, unless UTF-8
    for (const HardwareBoard& board : system.hardware.boards) {
        Json(board.name).dump();
        for (const std::optional<std::string>& text : board.texts)
            Json(text.value_or("")).dump();
    }
    if (!system.hasTable) return CheckError(system.tableProblem);
    const TableInput& table = system.table;
    Check(table.format == InputFormat::Hive && !table.bytes.empty());
    for (const TableSource source : {TableSource::Wmi, TableSource::Registry}) {
        const TableInput::Span& span = table.SpanOf(source);
        Check(span.offset <= table.bytes.size() && span.length <= table.bytes.size() - span.offset);
    }
}

void ReadStored(const std::string& path, const CodePage& codePage) {
    StoredValues stored;
    HiveRecovery recovery;
    bool only64 = false;
    std::string error;
    if (!ReadHiveStoredValues(path, codePage, stored, only64, recovery, error))
        return CheckError(error);
    CheckRecovery(recovery);
    // A text is read up to its terminator: no zero byte in it.
    for (const StoredValue& value : stored.values)
        Check(!value.problem.empty() || value.text.find('\0') == std::string::npos);
    static const std::vector<unsigned char> table = {0x01, 0x05, 0x00, 0x00, 0x01, 'A', 0, 0};
    const Inspection walk = Inspect(table);
    ProbeSubject probe;
    probe.machine = BytesAsUtf8(stored.key);
    probe.status = ProbeStatusOf(stored, walk, only64);
    probe.stored = &stored;
    probe.expected = &walk;
    probe.table = table.data();
    probe.length = table.size();
    const std::string line = ProbeLine(probe);
    Check(line.size() <= kProbeLineLimit && Json::accept(line));
}

void Put32(unsigned char* p, uint64_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

// The log's base block checksum and every entry's hashes, made right as far as the entries'
// sizes allow.
void MakeHashesRight(std::vector<unsigned char>& log) {
    if (log.size() < kLogBaseBlock) return;
    Put32(log.data() + 508, BaseBlockChecksum(log.data()));
    for (size_t at = kLogBaseBlock; log.size() - at >= 40 && Le32(&log[at]) == 0x454C7648;) {
        const size_t size = Le32(&log[at + 4]);
        if (size < 512 || size % 512 != 0 || size > log.size() - at) return;
        const uint64_t first = Marvin32(&log[at + 40], size - 40, kHiveLogSeed);
        Put32(&log[at + 24], first);
        Put32(&log[at + 28], first >> 32);
        const uint64_t second = Marvin32(&log[at], 32, kHiveLogSeed);
        Put32(&log[at + 32], second);
        Put32(&log[at + 36], second >> 32);
        at += size;
    }
}

const char* const kNames[] = {"SOFTWARE", "SOFTWARE.LOG", "SOFTWARE.LOG1", "SOFTWARE.LOG2"};

const std::string& Folder();

void RemoveFolder() {
    for (const char* file : kNames)
        unlink((Folder() + "/" + file).c_str());
    rmdir(Folder().c_str());
}

// A private folder in which the hive and its log are written anew for each input, removed at
// the end of the run (before the name itself goes: it is registered after the name is made).
const std::string& Folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/hive-fuzz-XXXXXX";
        Check(mkdtemp(name) != nullptr);
        return std::string(name);
    }();
    static const bool removed = std::atexit(RemoveFolder) == 0;
    Check(removed);
    return folder;
}

bool WriteFile(const std::string& path, const unsigned char* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool ok = file != nullptr && std::fwrite(data, 1, size, file) == size;
    return (file == nullptr || std::fclose(file) == 0) && ok;
}

void ReadPair(const uint8_t* data, size_t size, const CodePage& codePage) {
    const int flags = data[0];
    const size_t cut = std::min<size_t>(size - 3, (data[1] | data[2] << 8) * 16u);
    std::vector<unsigned char> hive(data + 3, data + 3 + cut), log(data + 3 + cut, data + size);
    if (flags & 4) MakeHashesRight(log);
    if ((flags & 8) && hive.size() >= kLogBaseBlock)
        Put32(hive.data() + 508, BaseBlockChecksum(hive.data()));
    const std::string path = Folder() + "/SOFTWARE";
    for (const char* file : kNames)
        unlink((Folder() + "/" + file).c_str());
    Check(WriteFile(path, hive.data(), hive.size()) &&
          WriteFile(path + (flags & 1 ? ".LOG" : ".LOG1"), log.data(), log.size()) &&
          (!(flags & 2) || WriteFile(path + ".LOG2", log.data(), log.size())));
    ReadStored(path, codePage);
    ReadSystem(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20 || !WriteInput(HiveFile().fd, data, size)) return 0;
    static CodePage western;
    static const bool opened = [] {
        std::string error;
        return western.Open(1252, error);
    }();
    Check(opened);
    const std::string& path = HiveFile().path;
    ReadStored(path, western);
    ReadSystem(path);
    if (size >= 3) ReadPair(data, size, western);
    return 0;
}
