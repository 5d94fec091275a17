#include "report/FleetShow.h"

#include <cstdio>

namespace {

unsigned long CodePoint(std::string_view text, size_t length) {
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (length == 1) return byte(0);
    unsigned long code = byte(0) & (0x7F >> length);
    for (size_t i = 1; i < length; ++i)
        code = code << 6 | (byte(i) & 0x3F);
    return code;
}

// Characters that show nothing or reorder the text: C0 and C1 controls, the bidirectional
// controls and marks, zero-width characters, the byte-order mark.
bool Invisible(unsigned long code) {
    return code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0xAD || code == 0x61C ||
           (code >= 0x200B && code <= 0x200F) || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2060 && code <= 0x2069) || code == 0xFEFF;
}

} // namespace

size_t Utf8Length(std::string_view text) {
    const unsigned char lead = static_cast<unsigned char>(text[0]);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (length == 0 || length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
    const unsigned char second = static_cast<unsigned char>(length > 1 ? text[1] : 0);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0; // overlong, a surrogate, or beyond U+10FFFF
    return length;
}

bool MarkedAt(std::string_view text, size_t at, size_t length, Shown kind, char (&name)[12]) {
    if (length == 0) {
        std::snprintf(name, sizeof name, "0x%02X", static_cast<unsigned char>(text[at]));
        return true;
    }
    const unsigned long code = CodePoint(text.substr(at), length);
    const bool edgeSpace =
        code == ' ' && (text.find_first_not_of(' ') > at || text.find_last_not_of(' ') < at ||
                        text.find_first_not_of(' ') == std::string_view::npos);
    const bool marked = Invisible(code) || edgeSpace ||
                        (kind == Shown::Identifier && (code >= 0x7F || code == '{'));
    if (marked) std::snprintf(name, sizeof name, "U+%04lX", code);
    return marked;
}

std::string ShowText(std::string_view text, Shown kind) {
    std::string out;
    out.reserve(text.size());
    ForEachShown(text, kind, [&out](std::string_view piece, bool marked) {
        if (marked)
            out.append("{").append(piece).append("}");
        else
            out.append(piece);
    });
    return out;
}
