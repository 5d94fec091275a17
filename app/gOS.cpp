#include "app/gOS.h"

#include "platform/FindExport.h"
#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

namespace {

typedef UINT(WINAPI* GetSystemWow64DirectoryAFn)(LPSTR buffer, UINT size);

int ProbeWow64Directory() {
    // Left loaded on purpose: kernel32 stays mapped for the whole process anyway.
    const HMODULE kernel = LoadLibraryA("kernel32.dll");
    if (kernel == nullptr) {
        DebugTrace(TRACE_WIN32);
        return 0;
    }
    // Looked up at run time because a system without WoW64 may not export it at all.
    const auto query = FindExport<GetSystemWow64DirectoryAFn>(kernel, "GetSystemWow64DirectoryA");
    if (query == nullptr) {
        DebugTrace(TRACE_NO_WOW64_PROC);
        return 0;
    }
    char directory[MAX_PATH];
    const UINT length = query(directory, sizeof directory);
    if (length == 0) {
        DebugTrace(TRACE_WIN32);
        return 0;
    }
    DebugTrace(TRACE_WIN64);
    return static_cast<int>(length);
}

} // namespace

CgOS::CgOS() {
    g_bTraceEnabled = 1;
}

void CgOS::LoadOSVersion() {
    m_osVersion.dwOSVersionInfoSize = sizeof m_osVersion;
    GetVersionExA(&m_osVersion);
    DebugTrace(TRACE_OS_CHECK);
    DebugTrace(TRACE_OS_ID, static_cast<long>(m_osVersion.dwPlatformId));
    DebugTrace(TRACE_OS_MAJOR, static_cast<long>(m_osVersion.dwMajorVersion));
    DebugTrace(TRACE_OS_MINOR, static_cast<long>(m_osVersion.dwMinorVersion));
}

int CgOS::IsVistaOS() {
    LoadOSVersion();
    return m_osVersion.dwPlatformId == VER_PLATFORM_WIN32_NT && m_osVersion.dwMajorVersion == 6 ? 1
                                                                                                : 0;
}

// The probe only feeds the trace, so no failure inside it may stop the run.
int CgOS::Is64BitOS() {
    try {
        return ProbeWow64Directory();
    } catch (...) {
        return 0;
    }
}
