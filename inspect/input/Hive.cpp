#include "input/Hive.h"

#include "input/RegExport.h"
#include "platform/Platform.h"

#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The entry of `folder` named `name` in any case, as a mounted NTFS keeps Windows' own
// spelling ("system32", "CONFIG"); empty when there is none.
fs::path FindEntry(const fs::path& folder, const char* name, bool directory) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const bool isDirectory = it->is_directory(error);
        if (isDirectory == directory && EqualNoCase(it->path().filename().u8string(), name))
            return it->path();
    }
    return {};
}

} // namespace

Descriptor::~Descriptor() {
    if (fd >= 0) close(fd);
}

bool IsHiveSignature(const unsigned char* bytes, size_t size) {
    return size >= 4 && std::memcmp(bytes, "regf", 4) == 0;
}

bool IsHiveFile(const std::string& path) {
    if (path.empty() || path == "-") return false;
    const Descriptor file{OpenForReading(path)};
    unsigned char head[4] = {};
    return file.fd >= 0 && read(file.fd, head, sizeof head) == 4 && IsHiveSignature(head, 4);
}

bool FindWindowsHives(const std::string& folder, WindowsHives& hives, std::string& error) {
    const fs::path system32 = FindEntry(fs::u8path(folder), "System32", true);
    const fs::path config = system32.empty() ? system32 : FindEntry(system32, "config", true);
    if (config.empty()) {
        error = "no System32/config folder: not a Windows folder (name the Windows folder of the "
                "mounted disk)";
        return false;
    }
    const fs::path software = FindEntry(config, "SOFTWARE", false);
    if (software.empty()) {
        error = "no SOFTWARE hive in " + config.u8string();
        return false;
    }
    hives.software = software.u8string();
    const fs::path system = FindEntry(config, "SYSTEM", false);
    hives.system = system.empty() ? "" : system.u8string();
    return true;
}
