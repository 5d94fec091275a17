#include "platform/Platform.h"

#include "platform/DllSearch.h"

#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return "";
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

// The UTF-8 name as Windows spells it; empty for bytes that are no UTF-8.
std::wstring Wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return L"";
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), size);
    return out;
}

class LocalGuard {
  public:
    explicit LocalGuard(void* memory) : m_memory(memory) {}
    ~LocalGuard() { LocalFree(m_memory); }
    LocalGuard(const LocalGuard&) = delete;
    LocalGuard& operator=(const LocalGuard&) = delete;

  private:
    void* m_memory;
};

// Closes a kernel object's handle on every path.
class HandleGuard {
  public:
    explicit HandleGuard(HANDLE handle) : m_handle(handle) {}
    ~HandleGuard() {
        if (m_handle != nullptr) CloseHandle(m_handle);
    }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;

    HANDLE Get() const { return m_handle; }

  private:
    HANDLE m_handle;
};

// The exit code of a program ended for taking too long, and how long it is given to go.
constexpr UINT kEndedExitCode = 1;
constexpr DWORD kEndingMilliseconds = 10000;

// A job object whose processes all end when its last handle is closed; null where none can be
// made.
HANDLE KillOnCloseJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return job;
    CloseHandle(job);
    return nullptr;
}

// ERROR_ELEVATION_REQUIRED, which the headers declare only for newer target versions.
constexpr DWORD kElevationRequired = 740;

std::string StartError(DWORD error) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return "not found";
    if (error == kElevationRequired)
        return "cannot start: it needs administrator rights (run elevated, or as SYSTEM)";
    return "cannot start: error " + std::to_string(error);
}

} // namespace

std::vector<std::string> CommandArguments(int, char**) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    if (arguments == nullptr) return out;
    const LocalGuard release(arguments);
    for (int i = 1; i < count; ++i)
        out.push_back(Utf8(arguments[i]));
    return out;
}

// Before COM, WMI or anything else loads a library on the inspector's behalf. The version is
// the one the system reports to a program without a compatibility manifest; only 6.0 matters.
void RestrictLibrarySearch() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version)) RestrictDllSearch(version.dwMajorVersion, version.dwMinorVersion);
}

void UseBinaryStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

int OpenForReading(const std::string& path) {
    const std::wstring name = Wide(path);
    if (name.empty()) {
        errno = ENOENT;
        return -1;
    }
    return _wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

Descriptor::~Descriptor() {
    if (fd >= 0) _close(fd);
}

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes,
                    std::string& error) {
    const std::wstring name = Wide(path);
    FILE* file = name.empty() ? nullptr : _wfopen(name.c_str(), L"wb");
    if (file == nullptr) {
        error = std::string("cannot create: ") + std::strerror(name.empty() ? ENOENT : errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        error = "cannot write the whole file";
        return false;
    }
    return true;
}

std::string ComputerName() {
    wchar_t name[256] = {};
    DWORD size = static_cast<DWORD>(sizeof name / sizeof name[0]);
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size) && !GetComputerNameW(name, &size))
        return "";
    return Utf8(name);
}

std::string PathBesideProgram(const std::string& name) {
    // A path longer than the buffer comes back cut and the buffer full: try a larger one.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> path(size);
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0) return "";
        if (length >= size) continue;
        const std::string self = Utf8(path.data());
        const size_t separator = self.find_last_of("\\/");
        return separator == std::string::npos ? "" : self.substr(0, separator + 1) + name;
    }
    return "";
}

RunOutcome RunProgram(const std::string& path, unsigned seconds, int& exitCode,
                      std::string& error) {
    const std::wstring program = Wide(path);
    std::wstring commandLine = L"\"" + program + L"\""; // CreateProcessW may write into it
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Suspended until it is in the job, so that nothing it starts can escape the job.
    if (program.empty() ||
        !CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED, nullptr, nullptr, &startup, &process)) {
        error = StartError(program.empty() ? ERROR_FILE_NOT_FOUND : GetLastError());
        return RunOutcome::NotStarted;
    }
    const HandleGuard processHandle(process.hProcess), threadHandle(process.hThread);
    // Closed when this returns, or when the inspector ends in any way: whatever is left in the
    // job ends with it. Where no job can be had (before Windows 8, a process already in a job that
    // allows no other), the time limit still holds for the program itself.
    const HandleGuard job(KillOnCloseJob());
    const bool inJob =
        job.Get() != nullptr && AssignProcessToJobObject(job.Get(), process.hProcess);
    ResumeThread(process.hThread);
    const DWORD waited = WaitForSingleObject(process.hProcess, seconds * 1000u);
    if (waited == WAIT_TIMEOUT) {
        inJob ? TerminateJobObject(job.Get(), kEndedExitCode)
              : TerminateProcess(process.hProcess, kEndedExitCode);
        WaitForSingleObject(process.hProcess, kEndingMilliseconds);
        return RunOutcome::TimedOut;
    }
    DWORD code = 0;
    if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &code)) {
        error = "cannot wait for it: error " + std::to_string(GetLastError());
        return RunOutcome::NotStarted;
    }
    exitCode = static_cast<int>(code);
    return RunOutcome::Exited;
}
