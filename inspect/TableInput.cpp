#include "TableInput.h"

#include "RegExport.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far beyond any SMBIOS table or registry export of one; keeps the length a signed 32-bit int.
constexpr size_t kMaxInput = 64u << 20;

// Closes the descriptor it was given on every path (standard input excepted).
class FileGuard {
  public:
    explicit FileGuard(int fd) : m_fd(fd) {}
    ~FileGuard() {
        if (m_fd > STDIN_FILENO) close(m_fd);
    }
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

std::string OpenError(int error, bool machineTable) {
    if (machineTable && error == ENOENT)
        return "not present: this machine exposes no SMBIOS table there (name a table file)";
    if (machineTable && (error == EACCES || error == EPERM))
        return "permission denied: reading this machine's table needs root (run with sudo, or "
               "name a table file)";
    return std::string("cannot open: ") + std::strerror(error);
}

bool ReadAll(int fd, std::vector<unsigned char>& bytes, std::string& error) {
    unsigned char buffer[65536];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count == 0) return true;
        if (count < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        if (bytes.size() + static_cast<size_t>(count) > kMaxInput) {
            error = "larger than 64 MiB: not an SMBIOS table";
            return false;
        }
        bytes.insert(bytes.end(), buffer, buffer + count);
    }
}

bool ReadSource(const std::string& path, bool machineTable, std::vector<unsigned char>& bytes,
                std::string& error) {
    const FileGuard file(path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        error = OpenError(errno, machineTable);
        return false;
    }
    struct stat status = {};
    if (fstat(file.Get(), &status) == 0 && S_ISDIR(status.st_mode)) {
        error = "is a directory";
        return false;
    }
    return ReadAll(file.Get(), bytes, error);
}

bool HasRegSuffix(const std::string& path) {
    if (path.size() < 4) return false;
    std::string suffix = path.substr(path.size() - 4);
    for (char& c : suffix)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".reg";
}

} // namespace

bool ReadTableInput(const std::string& argument, TableInput& input, std::string& error) {
    const bool machineTable = argument.empty();
    std::string path = argument;
    if (machineTable) {
        const char* override = std::getenv(kMachineTableVariable);
        path = override != nullptr && *override != '\0' ? override : kMachineTablePath;
    }
    input.name = path == "-" ? "standard input" : path;
    std::vector<unsigned char> bytes;
    if (!ReadSource(path, machineTable, bytes, error)) return false;
    if (bytes.empty()) {
        error = "is empty: no table to walk";
        return false;
    }
    // A file named *.reg is meant as an export even when its content says otherwise.
    input.fromRegExport = IsRegExport(bytes) || HasRegSuffix(path);
    if (!input.fromRegExport) {
        input.table = std::move(bytes);
        return true;
    }
    return ParseRegExport(bytes, input.table, error);
}
