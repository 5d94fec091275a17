// The encodings a fleet's files come in: UTF-8 with or without a byte-order mark, and UTF-16 with
// one (what Windows PowerShell 5.1 writes with `>` and Out-File). UTF-16 text is read through a
// source that gives it as UTF-8, so that every reader sees one encoding.
#pragma once
#include "input/ByteSource.h"

#include <string>
#include <string_view>

enum class TextEncoding { Utf8, Utf8Bom, Utf16Le, Utf16Be, Utf16NoBom };

// The encoding of a file from its first bytes. UTF-16 without a mark is recognised by the zero
// bytes of its first characters, which are ASCII in every file a fleet sends back.
TextEncoding SniffEncoding(std::string_view first);

// UTF-16LE bytes (a registry hive's texts) as UTF-8, up to the first zero unit or the end; a
// surrogate that is not one of a pair reads as U+FFFD, an odd byte at the end is left out.
std::string Utf16ToUtf8(const unsigned char* data, size_t size);

// UTF-16 (after its byte-order mark) as UTF-8. A surrogate that is not one of a pair, and an odd
// byte at the end, read as U+FFFD.
class Utf16Source : public ByteSource {
  public:
    Utf16Source(ByteSource& inner, bool bigEndian) : m_inner(inner), m_bigEndian(bigEndian) {}

  protected:
    size_t Read(char* into, size_t size, std::string& error) override;

  private:
    long Unit(); // the next 16-bit unit, or -1 at the end, -2 for an odd byte at the end

    ByteSource& m_inner;
    bool m_bigEndian;
    long m_pending = -1; // a unit read ahead, after a high surrogate without its pair
};
