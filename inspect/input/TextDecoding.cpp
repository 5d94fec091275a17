#include "input/TextDecoding.h"

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool Ascii(char c) {
    return c == '\t' || c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F);
}

// Up to four bytes of `code` as UTF-8 at `out`; their count.
size_t Utf8(unsigned long code, char* out) {
    if (code < 0x80) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = static_cast<char>(0xC0 | code >> 6);
        out[1] = static_cast<char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = static_cast<char>(0xE0 | code >> 12);
        out[1] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | code >> 18);
    out[1] = static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (code & 0x3F));
    return 4;
}

constexpr unsigned long kReplacement = 0xFFFD;

bool HighSurrogate(unsigned long unit) {
    return unit >= 0xD800 && unit < 0xDC00;
}
bool LowSurrogate(unsigned long unit) {
    return unit >= 0xDC00 && unit < 0xE000;
}
unsigned long Combined(unsigned long high, unsigned long low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

} // namespace

std::string Utf16ToUtf8(const unsigned char* data, size_t size) {
    std::string out;
    char encoded[4];
    for (size_t i = 0; i + 1 < size; i += 2) {
        unsigned long code = static_cast<unsigned long>(data[i] | data[i + 1] << 8);
        if (code == 0) break;
        const unsigned long low =
            i + 3 < size ? static_cast<unsigned long>(data[i + 2] | data[i + 3] << 8) : 0;
        if (HighSurrogate(code) && LowSurrogate(low)) {
            code = Combined(code, low);
            i += 2;
        } else if (HighSurrogate(code) || LowSurrogate(code)) {
            code = kReplacement;
        }
        out.append(encoded, Utf8(code, encoded));
    }
    return out;
}

TextEncoding SniffEncoding(std::string_view first) {
    if (StartsWith(first, "\xEF\xBB\xBF")) return TextEncoding::Utf8Bom;
    if (StartsWith(first, "\xFF\xFE")) return TextEncoding::Utf16Le;
    if (StartsWith(first, "\xFE\xFF")) return TextEncoding::Utf16Be;
    // Two ASCII characters in a row, each with a zero byte on the same side.
    if (first.size() >= 4) {
        for (const size_t zero : {0, 1})
            if (first[zero] == 0 && first[zero + 2] == 0 && Ascii(first[1 - zero]) &&
                Ascii(first[3 - zero]))
                return TextEncoding::Utf16NoBom;
    }
    return TextEncoding::Utf8;
}

long Utf16Source::Unit() {
    if (m_pending >= 0) {
        const long unit = m_pending;
        m_pending = -1;
        return unit;
    }
    const int first = m_inner.Get();
    if (first < 0) return -1;
    const int second = m_inner.Get();
    if (second < 0) return -2;
    return m_bigEndian ? first << 8 | second : second << 8 | first;
}

size_t Utf16Source::Read(char* into, size_t size, std::string& error) {
    size_t count = 0;
    while (size - count >= 4) {
        const long unit = Unit();
        if (unit == -1) break;
        unsigned long code = unit == -2 ? kReplacement : static_cast<unsigned long>(unit);
        if (HighSurrogate(code)) {
            const long low = Unit();
            if (low >= 0 && LowSurrogate(static_cast<unsigned long>(low))) {
                code = Combined(code, static_cast<unsigned long>(low));
            } else {
                code = kReplacement;
                if (low >= 0) m_pending = low;
            }
        } else if (LowSurrogate(code)) {
            code = kReplacement;
        }
        count += Utf8(code, into + count);
    }
    if (count == 0 && !m_inner.Error().empty()) error = m_inner.Error();
    return count;
}
