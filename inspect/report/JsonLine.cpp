#include "report/JsonLine.h"

namespace {

const char kHex[] = "0123456789abcdef";

} // namespace

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

JsonLine& JsonLine::Text(const std::string& bytes) {
    Separate();
    m_out.push_back('"');
    for (const char c : bytes) {
        const unsigned char code = static_cast<unsigned char>(c);
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
            if (code < 0x20 || code >= 0x7F) {
                const char escape[] = {'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 0xF]};
                m_out.append(escape, sizeof escape);
            } else {
                m_out.push_back(c);
            }
        }
    }
    m_out.push_back('"');
    return *this;
}
