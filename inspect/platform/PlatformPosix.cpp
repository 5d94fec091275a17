#include "platform/Platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::vector<std::string> CommandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void RestrictLibrarySearch() {}

void UseBinaryStreams() {}

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

int OpenForReading(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

Descriptor::~Descriptor() {
    if (fd >= 0) close(fd);
}

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes,
                    std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::string("cannot create: ") + std::strerror(errno);
        return false;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            error = std::string("cannot write: ") + std::strerror(errno);
            close(fd);
            return false;
        }
        written += static_cast<size_t>(count);
    }
    if (close(fd) != 0) {
        error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

// --repair runs only where the live sources are: the Windows build.
std::string PathBesideProgram(const std::string&) {
    return "";
}

RunOutcome RunProgram(const std::string&, unsigned, int&, std::string& error) {
    error = "started only by the Windows build";
    return RunOutcome::NotStarted;
}
