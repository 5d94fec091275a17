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
    const fs::path where = folder.empty() ? fs::path(".") : folder;
    for (fs::directory_iterator it(where, error), end; !error && it != end; it.increment(error)) {
        const bool isDirectory = it->is_directory(error);
        if (isDirectory == directory && EqualNoCase(it->path().filename().u8string(), name))
            return it->path();
    }
    return {};
}

} // namespace

bool IsHiveSignature(const unsigned char* bytes, size_t size) {
    return size >= 4 && std::memcmp(bytes, "regf", 4) == 0;
}

bool IsHiveFile(const std::string& path) {
    if (path.empty() || path == "-") return false;
    const Descriptor file{OpenForReading(path)};
    unsigned char head[4] = {};
    return file.fd >= 0 && read(file.fd, head, sizeof head) == 4 && IsHiveSignature(head, 4);
}

// System32/config under the Windows folder `windows`; empty where there is none.
fs::path ConfigFolder(const fs::path& windows) {
    const fs::path system32 = FindEntry(windows, "System32", true);
    return system32.empty() ? system32 : FindEntry(system32, "config", true);
}

bool FindWindowsHives(const std::string& folder, WindowsHives& hives, std::string& error) {
    fs::path config = ConfigFolder(fs::u8path(folder));
    if (config.empty()) {
        const fs::path windows = FindEntry(fs::u8path(folder), "Windows", true);
        if (!windows.empty()) config = ConfigFolder(windows);
    }
    if (config.empty()) {
        error = "no System32/config folder: neither a Windows folder nor a volume holding one "
                "(name the mounted volume or its Windows folder)";
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

std::vector<std::string> FindHiveLogs(const std::string& path) {
    const fs::path hive = fs::u8path(path);
    std::vector<std::string> logs;
    for (const char* suffix : {".LOG1", ".LOG2", ".LOG"}) {
        const fs::path log =
            FindEntry(hive.parent_path(), (hive.filename().u8string() + suffix).c_str(), false);
        if (!log.empty()) logs.push_back(log.u8string());
    }
    return logs;
}
