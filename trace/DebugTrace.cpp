#include "trace/DebugTrace.h"

#include "trace/AnsiText.h"

#include <cstdio>
#include <windows.h>

int g_bTraceEnabled = 1;

TraceSwitchInitialiser::TraceSwitchInitialiser() {
    g_bTraceEnabled = 1;
}

bool FormatTrace(char (&buffer)[kTraceBufferSize], const char* format, va_list args) {
    buffer[0] = '\0';
    if (AnsiCharCount(format) >= kTraceFormatLimit) return false;
    std::vsnprintf(buffer, sizeof buffer, format, args);
    buffer[kTraceBufferSize - 1] = '\0'; // some C runtimes leave a cut text unterminated
    return true;
}

void DebugTrace(const char* format, ...) {
    if (g_bTraceEnabled == 0) return;
    char buffer[kTraceBufferSize];
    va_list args;
    va_start(args, format);
    const bool traced = FormatTrace(buffer, format, args);
    va_end(args);
    if (traced) OutputDebugStringA(buffer);
}
