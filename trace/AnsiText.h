// Character-aware helpers for single-byte text in the process's ANSI code page, where a
// double-byte character (lead byte plus trail byte) counts as one character.
#pragma once

// Number of characters in `text`, a double-byte character counting once.
int AnsiCharCount(const char* text);

// First occurrence of `pattern` in `text` that starts on a character boundary, or null.
const char* AnsiFind(const char* text, const char* pattern);
