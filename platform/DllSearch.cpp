#include "platform/DllSearch.h"

#include "platform/FindExport.h"

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD directoryFlags);
typedef BOOL(WINAPI* SetDllDirectoryAFn)(LPCSTR pathName);

} // namespace

// Both functions are looked up rather than imported: an import that a system lacks (Windows
// 2000 and XP without a service pack lack even SetDllDirectoryA) would stop the program from
// loading there at all, before it can say that the system is not supported.
void RestrictDllSearch(DWORD majorVersion, DWORD minorVersion) {
    if (majorVersion == 6 && minorVersion == 0) return;
    // kernel32 is mapped into every process: asking for its handle loads nothing.
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    const auto setDefault =
        FindExport<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    const auto setDirectory = FindExport<SetDllDirectoryAFn>(kernel, "SetDllDirectoryA");
    if (setDirectory != nullptr) setDirectory("");
}
