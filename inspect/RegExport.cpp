#include "RegExport.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

const char kValueName[] = "SMBiosData";
const char* const kHeaders[] = {"REGEDIT4", "Windows Registry Editor Version 5.00"};

// One line of the export after joining its continuation lines.
struct LogicalLine {
    std::string text;
    int number; // of its first physical line, from 1
};

bool StartsWith(const std::vector<unsigned char>& bytes, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return bytes.size() >= length && std::memcmp(bytes.data(), prefix, length) == 0;
}

// The export as single-byte text. Only ASCII matters here (names, hex digits, punctuation), so
// UTF-16 code units beyond it become '?'.
std::string DecodeText(const unsigned char* bytes, size_t size) {
    const std::vector<unsigned char> start(bytes, bytes + std::min<size_t>(size, 3));
    const bool little = StartsWith(start, "\xFF\xFE");
    const bool big = StartsWith(start, "\xFE\xFF");
    if (!little && !big) {
        const size_t skip = StartsWith(start, "\xEF\xBB\xBF") ? 3 : 0;
        return std::string(reinterpret_cast<const char*>(bytes) + skip, size - skip);
    }
    std::string text;
    for (size_t i = 2; i + 1 < size; i += 2) {
        const unsigned unit = little ? bytes[i] | bytes[i + 1] << 8 : bytes[i] << 8 | bytes[i + 1];
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> PhysicalLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '\r' || c == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(c);
    }
    return lines;
}

// Joins every line ending in a backslash with the lines that continue it.
std::vector<LogicalLine> LogicalLines(const std::string& text) {
    std::vector<LogicalLine> logical;
    bool continuing = false;
    int number = 0;
    for (const std::string& physical : PhysicalLines(text)) {
        ++number;
        std::string line = Trim(physical);
        const bool continues = !line.empty() && line.back() == '\\';
        if (continues) line.pop_back();
        if (continuing)
            logical.back().text += line;
        else
            logical.push_back({line, number});
        continuing = continues;
    }
    return logical;
}

bool EqualNoCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The quoted value name at the start of `line` (with its \" and \\ escapes), and the position
// after the closing quote. False when the line does not start with a quoted name.
bool ValueName(const std::string& line, std::string& name, size_t& end) {
    if (line.empty() || line[0] != '"') return false;
    name.clear();
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            name.push_back(line[++i]);
        } else if (line[i] == '"') {
            end = i + 1;
            return true;
        } else {
            name.push_back(line[i]);
        }
    }
    return false;
}

// Strips "hex:" or "hex(n):" (any registry type: VeskInfo does not look at it) from `data`.
bool StripHexPrefix(std::string& data) {
    std::string lower = data.substr(0, 16);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.compare(0, 4, "hex:") == 0) {
        data.erase(0, 4);
        return true;
    }
    if (lower.compare(0, 4, "hex(") != 0) return false;
    const size_t close = lower.find("):");
    if (close == std::string::npos || close == 4) return false;
    for (size_t i = 4; i < close; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(lower[i]))) return false;
    data.erase(0, close + 2);
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Comma-separated two-digit hexadecimal bytes, blanks allowed around them.
bool ParseHexBytes(const std::string& data, std::vector<unsigned char>& bytes, std::string& bad) {
    bytes.clear();
    if (Trim(data).empty()) return true;
    size_t begin = 0;
    for (;;) {
        const size_t comma = data.find(',', begin);
        const std::string token = Trim(data.substr(begin, comma - begin));
        const int high = token.size() == 2 ? HexValue(token[0]) : -1;
        const int low = token.size() == 2 ? HexValue(token[1]) : -1;
        if (high < 0 || low < 0) {
            bad = token.substr(0, 16);
            return false;
        }
        bytes.push_back(static_cast<unsigned char>(high << 4 | low));
        if (comma == std::string::npos) return true;
        begin = comma + 1;
    }
}

bool DecodeValue(const LogicalLine& line, size_t afterName, std::vector<unsigned char>& table,
                 std::string& error) {
    const std::string where = " (line " + std::to_string(line.number) + ")";
    std::string data = Trim(line.text.substr(afterName));
    if (data.empty() || data[0] != '=') {
        error = std::string("malformed \"") + kValueName + "\" line" + where;
        return false;
    }
    data = Trim(data.substr(1));
    if (!StripHexPrefix(data)) {
        error = std::string("\"") + kValueName + "\" is not hex data" + where;
        return false;
    }
    std::string bad;
    if (!ParseHexBytes(data, table, bad)) {
        error = std::string("bad byte \"") + bad + "\" in \"" + kValueName + "\"" + where;
        return false;
    }
    if (table.empty()) {
        error = std::string("\"") + kValueName + "\" is empty" + where;
        return false;
    }
    return true;
}

} // namespace

bool IsRegExport(const std::vector<unsigned char>& bytes) {
    const std::string text = DecodeText(bytes.data(), std::min<size_t>(bytes.size(), 512));
    const std::string first = Trim(text.substr(0, text.find_first_of("\r\n")));
    for (const char* header : kHeaders)
        if (first == header) return true;
    return false;
}

bool ParseRegExport(const std::vector<unsigned char>& bytes, std::vector<unsigned char>& table,
                    std::string& error) {
    if (!IsRegExport(bytes)) {
        error = "not a registry export (no \"REGEDIT4\" or \"Windows Registry Editor Version "
                "5.00\" first line)";
        return false;
    }
    for (const LogicalLine& line : LogicalLines(DecodeText(bytes.data(), bytes.size()))) {
        std::string name;
        size_t afterName = 0;
        if (ValueName(line.text, name, afterName) && EqualNoCase(name, kValueName))
            return DecodeValue(line, afterName, table, error);
    }
    error = std::string("no \"") + kValueName + "\" value in the registry export";
    return false;
}
