// Converting texts from a UTF-16 registry export back into the machine's ANSI code page, in
// which VeskInfo wrote them.
#pragma once
#include <iconv.h>

#include <string>

class CodePage {
  public:
    CodePage() = default;
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    // Prepares the conversion into Windows code page `number` (1252, 1250, 932, 65001, ...).
    // False with a one-line `error` when this system cannot convert into it.
    bool Open(int number, std::string& error);
    int Number() const { return m_number; }

    // The text in the code page; false when a character has no place in it.
    bool FromUtf16(const std::u16string& text, std::string& out) const;
    bool FromUtf8(const std::string& text, std::string& out) const;

  private:
    bool Convert(iconv_t converter, const char* in, size_t size, bool utf16,
                 std::string& out) const;

    int m_number = 0;
    iconv_t m_fromUtf16 = reinterpret_cast<iconv_t>(-1);
    iconv_t m_fromUtf8 = reinterpret_cast<iconv_t>(-1);
};
