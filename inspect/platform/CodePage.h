// Converting texts from a UTF-16 registry export back into the machine's ANSI code page, in
// which VeskInfo wrote them: with the C library's iconv on Linux (CodePagePosix.cpp), with the
// system's own tables on Windows (CodePageWindows.cpp).
#pragma once
#include <memory>
#include <string>

class CodePage {
  public:
    CodePage();
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
    struct Converters;

    int m_number = 0;
    std::unique_ptr<Converters> m_converters;
};
