// The reported operating-system version and kernel32's run-time lookups: LoadLibraryA and
// GetModuleHandleA know kernel32.dll only, and GetProcAddress finds GetSystemWow64DirectoryA and
// SetDefaultDllDirectories as the machine is set up, and SetDllDirectoryA.
#include "control.h"

#include <windows.h>

#include <cstring>
#include <strings.h>

namespace winsim {
namespace {

// Where a 32-bit program finds the 32-bit system files on a 64-bit system.
constexpr char kWow64Directory[] = "C:\\Windows\\SysWOW64";

struct OsState {
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    DWORD major = 6;
    DWORD minor = 1;
    Wow64Probe probe = Wow64Probe::Answers;
    bool setDefaultDllDirectories = true;
};

OsState& os() {
    static OsState s;
    return s;
}

const ResetHook resetOs([] { os() = OsState{}; });

HINSTANCE__ kernel32Module;

// On a 64-bit system the path's length without its zero, or, when the buffer is too small,
// the size needed with the zero; 0 on a 32-bit system.
UINT WINAPI GetSystemWow64DirectoryA(LPSTR buffer, UINT size) {
    long injected = 0;
    if (detail::Enter("GetSystemWow64DirectoryA",
                      {buffer ? "buffer" : "(null)", std::to_string(size)}, &injected))
        return static_cast<UINT>(injected);
    if (os().probe != Wow64Probe::Answers) return 0;
    const UINT length = sizeof kWow64Directory - 1;
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, kWow64Directory, sizeof kWow64Directory);
    return length;
}

BOOL WINAPI SetDefaultDllDirectories(DWORD directoryFlags) {
    long injected = 0;
    if (detail::Enter("SetDefaultDllDirectories", {detail::Hex(directoryFlags)}, &injected))
        return static_cast<BOOL>(injected);
    return directoryFlags != 0 ? TRUE : FALSE;
}

BOOL WINAPI SetDllDirectoryA(LPCSTR pathName) {
    long injected = 0;
    if (detail::Enter("SetDllDirectoryA", {detail::Text(pathName)}, &injected))
        return static_cast<BOOL>(injected);
    return TRUE;
}

bool IsKernel32(LPCSTR name) {
    return name != nullptr &&
           (strcasecmp(name, "kernel32.dll") == 0 || strcasecmp(name, "kernel32") == 0);
}

// Through void (*)() so that compilers accept the cast between function types.
template <class Function> FARPROC AsProc(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

} // namespace

void SetDefaultDllDirectoriesExported(bool exported) {
    os().setDefaultDllDirectories = exported;
}

void SetReportedVersion(unsigned long platformId, unsigned long major, unsigned long minor) {
    os().platformId = static_cast<DWORD>(platformId);
    os().major = static_cast<DWORD>(major);
    os().minor = static_cast<DWORD>(minor);
}

void SetWow64Probe(Wow64Probe probe) {
    os().probe = probe;
}

} // namespace winsim

// Accepts the two record sizes Windows accepts (OSVERSIONINFOA and OSVERSIONINFOEXA).
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    long injected = 0;
    if (winsim::detail::Enter("GetVersionExA",
                              {info ? std::to_string(info->dwOSVersionInfoSize) : "(null)"},
                              &injected))
        return static_cast<BOOL>(injected);
    if (info == nullptr) return FALSE;
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
        info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) + 8)
        return FALSE;
    info->dwMajorVersion = winsim::os().major;
    info->dwMinorVersion = winsim::os().minor;
    info->dwBuildNumber = 7601;
    info->dwPlatformId = winsim::os().platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    long injected = 0;
    if (winsim::detail::Enter("LoadLibraryA", {winsim::detail::Text(fileName)}, &injected))
        return nullptr;
    return winsim::IsKernel32(fileName) ? &winsim::kernel32Module : nullptr;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    long injected = 0;
    if (winsim::detail::Enter("GetModuleHandleA", {winsim::detail::Text(moduleName)}, &injected))
        return nullptr;
    return winsim::IsKernel32(moduleName) ? &winsim::kernel32Module : nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    long injected = 0;
    if (winsim::detail::Enter("GetProcAddress", {winsim::detail::Text(procName)}, &injected))
        return nullptr;
    if (module != &winsim::kernel32Module || procName == nullptr) return nullptr;
    if (std::strcmp(procName, "GetSystemWow64DirectoryA") == 0 &&
        winsim::os().probe != winsim::Wow64Probe::Absent)
        return winsim::AsProc(&winsim::GetSystemWow64DirectoryA);
    if (std::strcmp(procName, "SetDefaultDllDirectories") == 0 &&
        winsim::os().setDefaultDllDirectories)
        return winsim::AsProc(&winsim::SetDefaultDllDirectories);
    if (std::strcmp(procName, "SetDllDirectoryA") == 0)
        return winsim::AsProc(&winsim::SetDllDirectoryA);
    return nullptr;
}
