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
