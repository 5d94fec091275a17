#include "platform/Platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
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

std::string PathBesideProgram(const std::string& name) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return "";
    const std::string self(path, static_cast<size_t>(length));
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? "" : self.substr(0, slash + 1) + name;
}

bool RunProgram(const std::string& path, int& exitCode, std::string& error) {
    // Its standard streams go nowhere, so that only this program's lines reach the caller.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    const int started = posix_spawn(&child, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        error = started == ENOENT ? "not found"
                                  : std::string("cannot start: ") + std::strerror(started);
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) {
            error = std::string("cannot wait for it: ") + std::strerror(errno);
            return false;
        }
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}
