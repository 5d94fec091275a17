#include "input/TableInput.h"

#include "input/Hive.h"
#include "input/RegExport.h"
#include "platform/Platform.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far beyond any SMBIOS table or registry export of one; keeps the length a signed 32-bit int.
constexpr size_t kMaxInput = 64u << 20;

std::string OpenError(int error, bool machineTable) {
    if (machineTable && error == ENOENT)
        return "not present: this machine exposes no SMBIOS table there (name a table file)";
    if (machineTable && (error == EACCES || error == EPERM))
        return "permission denied: reading this machine's table needs root (run with sudo, or "
               "name a table file)";
    return std::string("cannot open: ") + std::strerror(error);
}

bool ReadAll(int fd, size_t sizeHint, std::vector<unsigned char>& bytes, std::string& error) {
    bytes.resize(sizeHint > 0 && sizeHint <= kMaxInput ? sizeHint + 1 : 65536);
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
        const ssize_t count = read(fd, bytes.data() + filled, bytes.size() - filled);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        filled += static_cast<size_t>(count);
        if (filled > kMaxInput) {
            error = "larger than 64 MiB: not an SMBIOS table";
            return false;
        }
    }
    bytes.resize(filled);
    return true;
}

bool ReadSource(const std::string& path, bool machineTable, std::vector<unsigned char>& bytes,
                std::string& error) {
    // Standard input through a copy of its descriptor, so that closing the copy leaves it open.
    const Descriptor file{path == "-" ? dup(STDIN_FILENO) : OpenForReading(path)};
    if (file.fd < 0) {
        error = OpenError(errno, machineTable);
        return false;
    }
    struct stat status = {};
    const bool known = fstat(file.fd, &status) == 0;
    if (known && S_ISDIR(status.st_mode)) {
        error = "is a directory";
        return false;
    }
    const bool regular = known && S_ISREG(status.st_mode);
    return ReadAll(file.fd, regular ? static_cast<size_t>(status.st_size) : 0, bytes, error);
}

bool HasRegSuffix(const std::string& path) {
    if (path.size() < 4) return false;
    std::string suffix = path.substr(path.size() - 4);
    for (char& c : suffix)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".reg";
}

TableInput::Span Whole(const std::vector<unsigned char>& bytes) {
    return {0, bytes.size()};
}

// The table after the header where WMI answers; the registry copy holds both.
void FromRsmb(TableInput& input) {
    input.hasHeader = true;
    input.wmi = {kRsmbHeaderSize, input.header.length};
    const size_t used = kRsmbHeaderSize + input.header.length;
    if (input.format == InputFormat::Rsmb) {
        input.registry = {0, used};
        if (used < input.bytes.size())
            input.notes.push_back(std::to_string(input.bytes.size() - used) +
                                  " bytes after the table the header names are not walked");
    }
}

} // namespace

const char* FormatName(InputFormat format) {
    switch (format) {
    case InputFormat::Raw:
        return "raw";
    case InputFormat::DmidecodeDump:
        return "dmidecode-dump";
    case InputFormat::Rsmb:
        return "rsmb";
    case InputFormat::RegExport:
        return "reg-export";
    case InputFormat::Hive:
        return "hive";
    }
    return "";
}

bool ReadInputBytes(const std::string& path, std::vector<unsigned char>& bytes,
                    std::string& error) {
    return ReadSource(path, false, bytes, error);
}

const char* SourceName(TableSource source) {
    return source == TableSource::Wmi ? "wmi" : "registry";
}

void RecogniseRegistryValue(TableInput& input) {
    input.wmi = input.registry = Whole(input.bytes);
    if (ReadRsmbHeader(input.bytes.data(), input.bytes.size(), input.header)) FromRsmb(input);
}

bool RecogniseTable(TableInput& input, bool regExport, std::string& error) {
    const unsigned char* data = input.bytes.data();
    const size_t size = input.bytes.size();
    input.wmi = input.registry = Whole(input.bytes);
    if (regExport || IsRegExport(input.bytes)) {
        input.format = InputFormat::RegExport;
        std::vector<unsigned char> value;
        if (!ParseRegExport(input.bytes, value, error)) return false;
        input.bytes = std::move(value);
        RecogniseRegistryValue(input);
    } else if (HasEntryPoint(data, size)) {
        input.format = InputFormat::DmidecodeDump;
        input.hasEntryPoint = true;
        if (!ReadDump(data, size, input.dump, error)) return false;
        input.wmi = input.registry = {input.dump.offset, input.dump.length};
        input.notes.insert(input.notes.end(), input.dump.notes.begin(), input.dump.notes.end());
    } else if (ReadRsmbHeader(data, size, input.header)) {
        input.format = InputFormat::Rsmb;
        FromRsmb(input);
    } else if (IsHiveSignature(data, size)) {
        // hivex reads a hive from its file: here the bytes came another way (standard input).
        input.format = InputFormat::Hive;
        error = "a registry hive is read from its file, not from standard input: name the file";
        return false;
    }
    return true;
}

bool ReadTableInput(const std::string& argument, TableInput& input, std::string& error) {
    const bool machineTable = argument.empty();
    std::string path = argument;
    if (machineTable) {
        const char* override = std::getenv(kMachineTableVariable);
        path = override != nullptr && *override != '\0' ? override : kMachineTablePath;
    }
    input.name = path == "-" ? "standard input" : path;
    if (IsHiveFile(path)) return ReadHiveTable(path, input, error);
    if (!ReadSource(path, machineTable, input.bytes, error)) return false;
    if (input.bytes.empty()) {
        error = "is empty: no table to walk";
        return false;
    }
    input.read = true;
    // A file named *.reg is meant as an export even when its content says otherwise.
    return RecogniseTable(input, HasRegSuffix(path), error);
}
