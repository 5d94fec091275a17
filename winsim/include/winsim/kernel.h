// kernel32 subset: debugger output, ANSI string helpers, code-page queries and the process heap.
#pragma once
#include "winsim/base.h"

void WINAPI OutputDebugStringA(LPCSTR text);
int WINAPI lstrlenA(LPCSTR text);
LPSTR WINAPI lstrcpyA(LPSTR destination, LPCSTR source);
BOOL WINAPI IsDBCSLeadByte(BYTE byte);

#define HEAP_ZERO_MEMORY 0x00000008
HANDLE WINAPI GetProcessHeap();
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);

// Operating-system version and run-time lookups in system libraries.
typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define ERROR_INSUFFICIENT_BUFFER 122L

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);
HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);

// DLL search order: SetDefaultDllDirectories and SetDllDirectoryA are reached through
// GetProcAddress only.
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
