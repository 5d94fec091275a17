#include "platform/CodePage.h"

#include <cerrno>
#include <iconv.h>

namespace {

const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

std::string ConverterName(int number) {
    return number == 65001 ? "UTF-8" : "CP" + std::to_string(number);
}

// Windows' single-byte ANSI code pages give their few unassigned bytes the C1 control of the
// same number; the system's tables leave them out.
bool KeepsC1(int number) {
    return number >= 1250 && number <= 1258;
}

// Converts `size` bytes; a C1 control that a single-byte ANSI code page lacks in the system's
// tables is kept as its byte.
bool Convert(iconv_t converter, int number, const char* in, size_t size, bool utf16,
             std::string& out) {
    out.clear();
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* input = const_cast<char*>(in);
    size_t left = size;
    char buffer[256];
    while (left > 0) {
        char* output = buffer;
        size_t room = sizeof buffer;
        const size_t done = iconv(converter, &input, &left, &output, &room);
        out.append(buffer, static_cast<size_t>(output - buffer));
        if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
        const bool c1 = utf16 && left >= 2 && static_cast<unsigned char>(input[1]) == 0 &&
                        static_cast<unsigned char>(input[0]) >= 0x80 &&
                        static_cast<unsigned char>(input[0]) <= 0x9F;
        if (!c1 || !KeepsC1(number)) return false;
        out.push_back(input[0]);
        input += 2;
        left -= 2;
    }
    return true;
}

} // namespace

struct CodePage::Converters {
    iconv_t fromUtf16 = kNone;
    iconv_t fromUtf8 = kNone;
    ~Converters() {
        if (fromUtf16 != kNone) iconv_close(fromUtf16);
        if (fromUtf8 != kNone) iconv_close(fromUtf8);
    }
};

CodePage::CodePage() : m_converters(std::make_unique<Converters>()) {}

CodePage::~CodePage() = default;

bool CodePage::Open(int number, std::string& error) {
    const std::string name = ConverterName(number);
    if (number > 0) {
        m_converters->fromUtf16 = iconv_open(name.c_str(), "UTF-16LE");
        m_converters->fromUtf8 = iconv_open(name.c_str(), "UTF-8");
    }
    if (m_converters->fromUtf16 == kNone || m_converters->fromUtf8 == kNone) {
        error = "this system cannot convert into code page " + std::to_string(number) + " (no \"" +
                name + "\" converter; see --code-page)";
        return false;
    }
    m_number = number;
    return true;
}

bool CodePage::FromUtf16(const std::u16string& text, std::string& out) const {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return Convert(m_converters->fromUtf16, m_number, bytes.data(), bytes.size(), true, out);
}

bool CodePage::FromUtf8(const std::string& text, std::string& out) const {
    return Convert(m_converters->fromUtf8, m_number, text.data(), text.size(), false, out);
}
