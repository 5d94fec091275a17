// The program's only diagnostic channel: printf-style texts handed to the debugger output.
#pragma once
#include <cstdarg>

#if defined(__GNUC__) || defined(__clang__)
#define VESK_PRINTF_FORMAT(formatIndex, firstArg)                                                  \
    __attribute__((format(printf, formatIndex, firstArg)))
#else
#define VESK_PRINTF_FORMAT(formatIndex, firstArg)
#endif

// On from the program's initial data; nothing ever switches it off.
extern int g_bTraceEnabled;

constexpr int kTraceBufferSize = 520;
// Formats of this many ANSI characters or more are dropped without output.
constexpr int kTraceFormatLimit = 260;

void DebugTrace(const char* format, ...) VESK_PRINTF_FORMAT(1, 2);

// Formats one trace text into `buffer`, cut to fit. Returns false, leaving the buffer empty,
// when the format itself is too long to be traced.
bool FormatTrace(char (&buffer)[kTraceBufferSize], const char* format, va_list args);

// Start-up initialiser of the trace channel: switches the trace on once more. Its one instance
// is defined right after the identity record, so it runs after the record's construction.
struct TraceSwitchInitialiser {
    TraceSwitchInitialiser();
};
