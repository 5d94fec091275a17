#include "input/ByteSource.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool ByteSource::Refill() {
    if (!m_error.empty()) return false;
    m_position = 0;
    m_end = Read(m_buffer, sizeof m_buffer, m_error);
    return m_end > 0;
}

std::string_view ByteSource::Ahead() {
    if (m_position == m_end) Refill();
    return std::string_view(m_buffer + m_position, m_end - m_position);
}

size_t ByteSource::Take(char* into, size_t size) {
    if (m_position == m_end && !Refill()) return 0;
    const size_t count = std::min(size, m_end - m_position);
    std::memcpy(into, m_buffer + m_position, count);
    m_position += count;
    return count;
}

bool ByteSource::Line(std::string& line, size_t limit, bool& cut) {
    line.clear();
    cut = false;
    if (m_position == m_end && !Refill()) return false;
    for (;;) {
        const char* begin = m_buffer + m_position;
        const auto* end = static_cast<const char*>(std::memchr(begin, '\n', m_end - m_position));
        const size_t length = end ? static_cast<size_t>(end - begin) : m_end - m_position;
        const size_t room = limit - std::min(limit, line.size());
        cut = cut || length > room;
        line.append(begin, std::min(length, room));
        m_position += length + (end ? 1 : 0);
        if (end || !Refill()) return true;
    }
}

FileSource::~FileSource() {
    if (m_fd >= 0) close(m_fd);
}

bool FileSource::Open(const std::string& path, std::string& error) {
    m_fd = path == "-" ? dup(0) : OpenForReading(path);
    if (m_fd < 0) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    struct stat status;
    if (fstat(m_fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        error = "is a directory";
        return false;
    }
    return true;
}

size_t FileSource::Read(char* into, size_t size, std::string& error) {
    for (;;) {
        const auto count = read(m_fd, into, static_cast<unsigned>(size));
        if (count >= 0) return static_cast<size_t>(count);
        if (errno == EINTR) continue;
        error = std::string("cannot read: ") + std::strerror(errno);
        return 0;
    }
}

size_t TextSource::Read(char* into, size_t size, std::string&) {
    const size_t count = std::min(size, m_text.size());
    std::memcpy(into, m_text.data(), count);
    m_text.remove_prefix(count);
    return count;
}
