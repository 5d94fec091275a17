#include "platform/CodePage.h"

#include <windows.h>

namespace {

// Into UTF-16 with the system, then into the code page; false where a character has no place
// in it (the system would put its default character, or a look-alike, there instead).
bool FromWide(UINT codePage, const wchar_t* text, int count, std::string& out) {
    out.clear();
    if (count == 0) return true;
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* defaulted = utf8 ? nullptr : &usedDefault;
    const int size =
        WideCharToMultiByte(codePage, flags, text, count, nullptr, 0, nullptr, defaulted);
    if (size <= 0 || usedDefault) return false;
    out.resize(static_cast<size_t>(size));
    WideCharToMultiByte(codePage, flags, text, count, out.data(), size, nullptr, defaulted);
    return !usedDefault;
}

} // namespace

struct CodePage::Converters {};

CodePage::CodePage() = default;

CodePage::~CodePage() = default;

bool CodePage::Open(int number, std::string& error) {
    if (number <= 0 || IsValidCodePage(static_cast<UINT>(number)) == 0) {
        error = "this system cannot convert into code page " + std::to_string(number) +
                " (not installed; see --code-page)";
        return false;
    }
    m_number = number;
    return true;
}

bool CodePage::FromUtf16(const std::u16string& text, std::string& out) const {
    return FromWide(static_cast<UINT>(m_number), reinterpret_cast<const wchar_t*>(text.data()),
                    static_cast<int>(text.size()), out);
}

bool CodePage::FromUtf8(const std::string& text, std::string& out) const {
    out.clear();
    if (text.empty()) return true;
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                          static_cast<int>(text.size()), nullptr, 0);
    if (count <= 0) return false;
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), count);
    return FromWide(static_cast<UINT>(m_number), wide.data(), count, out);
}
