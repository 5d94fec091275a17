#include "report/JsonLine.h"

namespace {

const char kHex[] = "0123456789abcdef";
constexpr unsigned kCutMark = 0x2026;

// The length of the UTF-8 character at `at` and its code point, or 0 where none starts there.
size_t Decode(const std::string& utf8, size_t at, unsigned& code) {
    const unsigned char lead = static_cast<unsigned char>(utf8[at]);
    const size_t length = lead < 0x80    ? 1
                          : lead >= 0xF0 ? 4
                          : lead >= 0xE0 ? 3
                          : lead >= 0xC2 ? 2
                                         : 0;
    if (length == 0 || length > utf8.size() - at) return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(utf8[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        code = code << 6 | (next & 0x3F);
    }
    const unsigned least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

} // namespace

void JsonLine::Escape(unsigned code) {
    if (code > 0xFFFF) {
        code -= 0x10000;
        Escape(0xD800 + (code >> 10));
        code = 0xDC00 + (code & 0x3FF);
    }
    const char escape[] = {'\\',
                           'u',
                           kHex[code >> 12 & 0xF],
                           kHex[code >> 8 & 0xF],
                           kHex[code >> 4 & 0xF],
                           kHex[code & 0xF]};
    m_out.append(escape, sizeof escape);
}

void JsonLine::Separate() {
    if (m_keyed) {
        m_keyed = false;
        return;
    }
    if (!m_first) m_out.push_back(',');
    m_first = false;
}

JsonLine& JsonLine::Begin(char bracket) {
    Separate();
    m_out.push_back(bracket);
    m_first = true;
    return *this;
}

JsonLine& JsonLine::End(char bracket) {
    m_out.push_back(bracket);
    m_first = false;
    return *this;
}

JsonLine& JsonLine::Key(const char* key) {
    Separate();
    m_out.push_back('"');
    m_out += key;
    m_out += "\":";
    m_keyed = true;
    return *this;
}

JsonLine& JsonLine::Raw(const char* text) {
    Separate();
    m_out += text;
    return *this;
}

JsonLine& JsonLine::Name(const char* ascii) {
    Separate();
    m_out.push_back('"');
    m_out += ascii;
    m_out.push_back('"');
    return *this;
}

JsonLine& JsonLine::Number(int value) {
    Separate();
    m_out += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::Text(const std::string& bytes, size_t cap) {
    Separate();
    m_out.push_back('"');
    const size_t end = bytes.size() > cap ? cap : bytes.size();
    for (size_t i = 0; i < end; ++i)
        Byte(static_cast<unsigned char>(bytes[i]));
    if (end < bytes.size()) Escape(kCutMark);
    m_out.push_back('"');
    return *this;
}

JsonLine& JsonLine::Utf8(const std::string& utf8, size_t cap) {
    Separate();
    m_out.push_back('"');
    size_t at = 0;
    while (at < utf8.size()) {
        unsigned code = 0;
        const size_t length = Decode(utf8, at, code);
        if (at + (length ? length : 1) > cap) break;
        if (length == 0)
            Escape(0xFFFD);
        else if (code < 0x80)
            Byte(static_cast<unsigned char>(code));
        else
            Escape(code);
        at += length ? length : 1;
    }
    if (at < utf8.size()) Escape(kCutMark);
    m_out.push_back('"');
    return *this;
}

void JsonLine::Byte(unsigned char code) {
    switch (code) {
    case '"':
        m_out += "\\\"";
        break;
    case '\\':
        m_out += "\\\\";
        break;
    case '\b':
        m_out += "\\b";
        break;
    case '\f':
        m_out += "\\f";
        break;
    case '\n':
        m_out += "\\n";
        break;
    case '\r':
        m_out += "\\r";
        break;
    case '\t':
        m_out += "\\t";
        break;
    default:
        if (code < 0x20 || code >= 0x7F)
            Escape(code);
        else
            m_out.push_back(static_cast<char>(code));
    }
}
