// One line of compact JSON written straight into a string, byte for byte as the JSON library's
// compact, ASCII-only dump writes the same document, but without building the document first:
// for batch records, written by the thousand. Texts are byte strings written as the code points
// of their bytes (as JsonText does).
#pragma once
#include <cstddef>
#include <string>

class JsonLine {
  public:
    explicit JsonLine(std::string& out) : m_out(out) {}

    JsonLine& Open() { return Begin('{'); }
    JsonLine& Close() { return End('}'); }
    JsonLine& OpenArray() { return Begin('['); }
    JsonLine& CloseArray() { return End(']'); }
    // The key of the next member of an object (ASCII, needing no escape).
    JsonLine& Key(const char* key);
    JsonLine& Text(const std::string& bytes) { return Text(bytes, std::string::npos); }
    // The same, cut after `cap` bytes and ended with U+2026 (...) where longer: a mark no byte
    // gives.
    JsonLine& Text(const std::string& bytes, size_t cap);
    // A UTF-8 text, each character beyond ASCII as a \u escape (a byte that starts no character
    // as U+FFFD); cut as Text is, never inside a character.
    JsonLine& Utf8(const std::string& utf8, size_t cap);
    JsonLine& Name(const char* ascii); // a text known to need no escape
    JsonLine& Number(int value);
    JsonLine& Bool(bool value) { return Raw(value ? "true" : "false"); }
    JsonLine& Null() { return Raw("null"); }

  private:
    JsonLine& Begin(char bracket);
    JsonLine& End(char bracket);
    JsonLine& Raw(const char* text);
    void Separate();            // the comma before a member or element, unless it is the first
    void Escape(unsigned code); // \uXXXX, or a surrogate pair
    void Byte(unsigned char code);

    std::string& m_out;
    bool m_first = true;  // nothing written yet in the innermost object or array
    bool m_keyed = false; // a key was just written: its value follows without a comma
};
