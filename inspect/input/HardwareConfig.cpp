#include "input/HardwareConfig.h"

#include <cstdio>

namespace {

// Byte i of the GUID's text (its hexadecimal digits in order) is byte kOrder[i] of the bytes.
const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Days since 1970-01-01 as a civil date (the proleptic Gregorian calendar).
void CivilDate(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

const char* BoardTextName(BoardText text) {
    static const char* const kNames[kBoardTexts] = {
        "SystemManufacturer", "SystemProductName", "SystemFamily", "SystemSKU",
        "SystemVersion",      "BIOSVendor",        "BIOSVersion",  "BIOSReleaseDate"};
    return kNames[static_cast<int>(text)];
}

std::optional<std::string> HardwareBoard::BiosVersion() const {
    if (Text(BoardText::BiosVersion)) return Text(BoardText::BiosVersion);
    if (systemBiosVersion.empty()) return std::nullopt;
    std::string joined;
    for (const std::string& part : systemBiosVersion)
        joined += (joined.empty() ? "" : "; ") + part;
    return joined;
}

bool ParseGuid(const std::string& text, unsigned char (&bytes)[16]) {
    std::string inner = text;
    if (inner.size() == 38 && inner.front() == '{' && inner.back() == '}')
        inner = inner.substr(1, 36);
    if (inner.size() != 36) return false;
    int digit = 0;
    for (size_t i = 0; i < inner.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (inner[i] != '-') return false;
            continue;
        }
        const int value = HexDigit(inner[i]);
        if (value < 0) return false;
        unsigned char& byte = bytes[kOrder[digit / 2]];
        byte = static_cast<unsigned char>(digit % 2 == 0 ? value << 4 : (byte | value));
        ++digit;
    }
    return true;
}

std::string GuidText(const unsigned char (&bytes)[16]) {
    std::string text;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += "0123456789ABCDEF"[bytes[kOrder[i]] >> 4];
        text += "0123456789ABCDEF"[bytes[kOrder[i]] & 0xF];
    }
    return text;
}

std::string FileTimeText(uint64_t filetime) {
    constexpr int64_t kSecondsTo1970 = 11644473600;
    const int64_t seconds = static_cast<int64_t>(filetime / 10000000) - kSecondsTo1970;
    const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const int64_t inDay = seconds - days * 86400;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilDate(days, year, month, day);
    char text[96]; // room for any number the format could take
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<long long>(year), month, day, static_cast<int>(inDay / 3600),
                  static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
    return text;
}
