// How the report shows a text that came from a machine, so that different bytes never look
// alike and no text changes the order of what is around it. Marked as code points (U+2011) or
// bytes (0xFF): control characters, C1 controls, bidirectional controls and other invisible
// format characters, bytes that are no UTF-8, and spaces at either end; in an identifier also
// every character outside printable ASCII (a look-alike hyphen is not a hyphen).
#pragma once
#include <string>
#include <string_view>

enum class Shown { Text, Identifier };

// The length of the valid UTF-8 sequence at the start of `text` (not empty), or 0.
size_t Utf8Length(std::string_view text);

// Calls `piece(text, marked)` for the pieces of `text` in order: a marked piece is the name of
// one code point or byte ("U+202E", "0xFF"), an unmarked one is text to show as it is.
template <class Piece> void ForEachShown(std::string_view text, Shown kind, Piece piece);

// The text for a text summary: marks in braces ("{U+202E}"); in an identifier a brace of its
// own is marked too, so that no identifier reads as another.
std::string ShowText(std::string_view text, Shown kind);

// Implementation.
bool MarkedAt(std::string_view text, size_t at, size_t length, Shown kind, char (&name)[12]);

template <class Piece> void ForEachShown(std::string_view text, Shown kind, Piece piece) {
    size_t plain = 0; // where the unmarked run began
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8Length(text.substr(at));
        char name[12];
        if (MarkedAt(text, at, length, kind, name)) {
            if (at > plain) piece(text.substr(plain, at - plain), false);
            piece(std::string_view(name), true);
            at += length ? length : 1;
            plain = at;
        } else {
            at += length;
        }
    }
    if (plain < text.size()) piece(text.substr(plain), false);
}
