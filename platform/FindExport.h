// A function that a system DLL may or may not export, looked up at run time.
#pragma once
#include <windows.h>

// The export `name` of `module` as a `Function` pointer, or null when the module lacks it.
template <class Function> Function FindExport(HMODULE module, LPCSTR name) {
    const FARPROC proc = GetProcAddress(module, name);
    // Through void (*)() so that compilers accept the cast between function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}
