#include "trace/AnsiText.h"

#include <cstring>
#include <windows.h>

namespace {

// Steps over one character; never past the terminating zero.
const char* NextChar(const char* p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') return p + 2;
    return p + 1;
}

} // namespace

int AnsiCharCount(const char* text) {
    int count = 0;
    for (const char* p = text; *p != '\0'; p = NextChar(p))
        ++count;
    return count;
}

const char* AnsiFind(const char* text, const char* pattern) {
    const size_t patternLength = std::strlen(pattern);
    for (const char* p = text; *p != '\0'; p = NextChar(p))
        if (std::strncmp(p, pattern, patternLength) == 0) return p;
    return patternLength == 0 ? text : nullptr;
}
