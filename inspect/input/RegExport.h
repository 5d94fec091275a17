// Registry exports (.reg files) as the registry editor and reg.exe write them: "REGEDIT4"
// (ANSI) or "Windows Registry Editor Version 5.00" (usually UTF-16 with a byte order mark),
// key sections in brackets, values as quoted text or as hex: / hex(n): data with backslash
// continuation lines.
#pragma once
#include <string>
#include <vector>

enum class RegEncoding { Ansi, Utf8, Utf16 };

// One value line. `data` is what follows the quoted name, trimmed, in the file's code units
// (bytes for Ansi and Utf8, UTF-16 code units for Utf16).
struct RegValue {
    std::string name; // characters beyond ASCII become '?'
    std::u16string data;
    int line; // of its first physical line, from 1
};

struct RegSection {
    std::string key; // between the brackets; empty for values before the first key
    std::vector<RegValue> values;
};

struct RegFile {
    RegEncoding encoding = RegEncoding::Ansi;
    std::vector<RegSection> sections;
};

// Compares ASCII letters without case, as the registry compares key and value names.
bool EqualNoCase(const std::string& a, const std::string& b);

// True when `bytes` start (after any byte order mark) with a registry export header.
bool IsRegExport(const std::vector<unsigned char>& bytes);

// Reads the sections and values of an export. False, with a one-line `error`, when `bytes` are
// no export.
bool ParseRegFile(const std::vector<unsigned char>& bytes, RegFile& file, std::string& error);

// The first value named `name` (in any case) in the section, or in the whole file, or null.
const RegValue* FindRegValue(const RegSection& section, const char* name);
const RegValue* FindRegValue(const RegFile& file, const char* name);

// Decodes the hex: or hex(n): data of `value` into `bytes`; `type` is the registry type it
// names (3 for "hex:"). False with a one-line `error` naming the value and its line.
bool DecodeHexValue(const RegValue& value, std::vector<unsigned char>& bytes, int& type,
                    std::string& error);

// A quoted text value ("name"="text", with \" and \\ escapes) into `text`, in the file's code
// units. False when the data is not a quoted text.
bool DecodeTextValue(const RegValue& value, std::u16string& text);

// Decodes the first "SMBiosData" value of the export into `table`. On failure returns false
// with `error` saying what is wrong, in one line.
bool ParseRegExport(const std::vector<unsigned char>& bytes, std::vector<unsigned char>& table,
                    std::string& error);
bool FindSMBiosData(const RegFile& file, std::vector<unsigned char>& table, std::string& error);
