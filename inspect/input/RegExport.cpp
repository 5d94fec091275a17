#include "input/RegExport.h"

#include <algorithm>
#include <cstring>

namespace {

using Units = std::u16string;

const char* const kHeaders[] = {"REGEDIT4", "Windows Registry Editor Version 5.00"};

// One line of the export after joining its continuation lines.
struct LogicalLine {
    Units text;
    int number; // of its first physical line, from 1
};

bool StartsWith(const unsigned char* bytes, size_t size, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return size >= length && std::memcmp(bytes, prefix, length) == 0;
}

// The export as code units: UTF-16 code units after a UTF-16 byte order mark, bytes otherwise.
// Only ASCII matters for the structure (names, brackets, hex digits, punctuation).
Units DecodeUnits(const unsigned char* bytes, size_t size, RegEncoding& encoding) {
    const bool little = StartsWith(bytes, size, "\xFF\xFE");
    const bool big = StartsWith(bytes, size, "\xFE\xFF");
    Units units;
    if (!little && !big) {
        const bool utf8 = StartsWith(bytes, size, "\xEF\xBB\xBF");
        encoding = utf8 ? RegEncoding::Utf8 : RegEncoding::Ansi;
        units.assign(bytes + (utf8 ? 3 : 0), bytes + size);
        return units;
    }
    encoding = RegEncoding::Utf16;
    units.reserve(size / 2);
    for (size_t i = 2; i + 1 < size; i += 2)
        units.push_back(static_cast<char16_t>(little ? bytes[i] | bytes[i + 1] << 8
                                                     : bytes[i] << 8 | bytes[i + 1]));
    return units;
}

bool IsBlank(char16_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

Units Trim(const Units& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

char Lower(char16_t c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
}

std::string Narrow(const Units& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (const char16_t c : text)
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

// Joins every line ending in a backslash with the lines that continue it.
std::vector<LogicalLine> LogicalLines(const Units& text) {
    std::vector<LogicalLine> logical;
    bool continuing = false;
    int number = 0;
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find_first_of(u"\r\n", begin);
        if (end == Units::npos) end = text.size();
        ++number;
        Units line = Trim(text.substr(begin, end - begin));
        const bool continues = !line.empty() && line.back() == '\\';
        if (continues) line.pop_back();
        if (continuing)
            logical.back().text += line;
        else
            logical.push_back({std::move(line), number});
        continuing = continues;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
        begin = end + 1;
    }
    return logical;
}

// The quoted text at `start` of `line` (with its \" and \\ escapes), and the position after the
// closing quote. False when there is no quoted text there.
bool Quoted(const Units& line, size_t start, Units& text, size_t& end) {
    if (start >= line.size() || line[start] != '"') return false;
    text.clear();
    for (size_t i = start + 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            text.push_back(line[++i]);
        } else if (line[i] == '"') {
            end = i + 1;
            return true;
        } else {
            text.push_back(line[i]);
        }
    }
    return false;
}

// Strips "hex:" (type 3) or "hex(n):" from `data` and gives the type.
bool StripHexPrefix(Units& data, int& type) {
    std::string lower;
    for (size_t i = 0; i < data.size() && i < 16; ++i)
        lower.push_back(Lower(data[i]));
    if (lower.compare(0, 4, "hex:") == 0) {
        data.erase(0, 4);
        type = 3;
        return true;
    }
    if (lower.compare(0, 4, "hex(") != 0) return false;
    const size_t close = lower.find("):");
    if (close == std::string::npos || close == 4) return false;
    type = 0;
    for (size_t i = 4; i < close; ++i) {
        const char c = lower[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        type = (type * 16 + digit) & 0xFFFFFFF;
    }
    data.erase(0, close + 2);
    return true;
}

int HexValue(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char lower = Lower(c);
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

// Comma-separated two-digit hexadecimal bytes, blanks allowed around them.
bool ParseHexBytes(const Units& data, std::vector<unsigned char>& bytes, std::string& bad) {
    bytes.clear();
    if (Trim(data).empty()) return true;
    bytes.reserve(data.size() / 3 + 1);
    size_t begin = 0;
    for (;;) {
        const size_t comma = data.find(',', begin);
        const Units token = Trim(data.substr(begin, comma - begin));
        const int high = token.size() == 2 ? HexValue(token[0]) : -1;
        const int low = token.size() == 2 ? HexValue(token[1]) : -1;
        if (high < 0 || low < 0) {
            bad = Narrow(token.substr(0, 16));
            return false;
        }
        bytes.push_back(static_cast<unsigned char>(high << 4 | low));
        if (comma == Units::npos) return true;
        begin = comma + 1;
    }
}

// The data after the "=" of a value line, or false when there is none.
bool AfterEquals(const RegValue& value, Units& data) {
    if (value.data.empty() || value.data[0] != '=') return false;
    data = Trim(value.data.substr(1));
    return true;
}

std::string Where(const RegValue& value) {
    return " (line " + std::to_string(value.line) + ")";
}

} // namespace

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(static_cast<unsigned char>(a[i])) != Lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsRegExport(const std::vector<unsigned char>& bytes) {
    RegEncoding encoding;
    const Units text = DecodeUnits(bytes.data(), std::min<size_t>(bytes.size(), 512), encoding);
    const std::string first = Narrow(Trim(text.substr(0, text.find_first_of(u"\r\n"))));
    for (const char* header : kHeaders)
        if (first == header) return true;
    return false;
}

bool ParseRegFile(const std::vector<unsigned char>& bytes, RegFile& file, std::string& error) {
    if (!IsRegExport(bytes)) {
        error = "not a registry export (no \"REGEDIT4\" or \"Windows Registry Editor Version "
                "5.00\" first line)";
        return false;
    }
    file.sections.assign(1, RegSection{});
    for (const LogicalLine& line :
         LogicalLines(DecodeUnits(bytes.data(), bytes.size(), file.encoding))) {
        Units name;
        size_t afterName = 0;
        if (!line.text.empty() && line.text[0] == '[') {
            const size_t close = line.text.rfind(']');
            const size_t end = close == Units::npos || close == 0 ? line.text.size() : close;
            file.sections.push_back({Narrow(line.text.substr(1, end - 1)), {}});
        } else if (Quoted(line.text, 0, name, afterName)) {
            file.sections.back().values.push_back(
                {Narrow(name), Trim(line.text.substr(afterName)), line.number});
        }
    }
    return true;
}

const RegValue* FindRegValue(const RegSection& section, const char* name) {
    for (const RegValue& value : section.values)
        if (EqualNoCase(value.name, name)) return &value;
    return nullptr;
}

const RegValue* FindRegValue(const RegFile& file, const char* name) {
    for (const RegSection& section : file.sections)
        if (const RegValue* value = FindRegValue(section, name)) return value;
    return nullptr;
}

bool DecodeHexValue(const RegValue& value, std::vector<unsigned char>& bytes, int& type,
                    std::string& error) {
    Units data;
    if (!AfterEquals(value, data)) {
        error = "malformed \"" + value.name + "\" line" + Where(value);
        return false;
    }
    if (!StripHexPrefix(data, type)) {
        error = "\"" + value.name + "\" is not hex data" + Where(value);
        return false;
    }
    std::string bad;
    if (!ParseHexBytes(data, bytes, bad)) {
        error = "bad byte \"" + bad + "\" in \"" + value.name + "\"" + Where(value);
        return false;
    }
    return true;
}

bool DecodeTextValue(const RegValue& value, std::u16string& text) {
    Units data;
    size_t end = 0;
    return AfterEquals(value, data) && Quoted(data, 0, text, end) && Trim(data.substr(end)).empty();
}

bool FindSMBiosData(const RegFile& file, std::vector<unsigned char>& table, std::string& error) {
    const RegValue* value = FindRegValue(file, "SMBiosData");
    if (value == nullptr) {
        error = "no \"SMBiosData\" value in the registry export";
        return false;
    }
    int type = 0;
    if (!DecodeHexValue(*value, table, type, error)) return false;
    if (table.empty()) {
        error = "\"" + value->name + "\" is empty" + Where(*value);
        return false;
    }
    return true;
}

bool ParseRegExport(const std::vector<unsigned char>& bytes, std::vector<unsigned char>& table,
                    std::string& error) {
    RegFile file;
    return ParseRegFile(bytes, file, error) && FindSMBiosData(file, table, error);
}
