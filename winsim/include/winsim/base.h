// Basic Windows types with Windows' widths: DWORD, LONG, ULONG and HRESULT are 32 bits even
// though the host's long is 64.
#pragma once
#include <cstddef>
#include <cstdint>

#define WINAPI
#define APIENTRY
#define CALLBACK
#define STDMETHODCALLTYPE

typedef unsigned char BYTE;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef int32_t HRESULT;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef void VOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef size_t SIZE_T;
typedef void* HANDLE;
typedef ULONG_PTR WPARAM;
typedef LONG_PTR LPARAM;

struct HINSTANCE__ {
    int unused;
};
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef LONG_PTR (*FARPROC)();

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L

#define MAX_PATH 260
