#include "input/FleetInputTime.h"

#include <cctype>
#include <cstdio>

namespace {

// Reads a number of 1 to `most` digits at `at`.
bool Digits(std::string_view text, size_t& at, size_t most, int& value) {
    size_t count = 0;
    value = 0;
    for (; at < text.size() && count < most && std::isdigit(static_cast<unsigned char>(text[at]));
         ++at, ++count)
        value = value * 10 + (text[at] - '0');
    return count > 0;
}

bool Take(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

bool Leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsDate(int year, int month, int day) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month >= 1 && month <= 12 && day >= 1 &&
           day <= kDays[month - 1] + (month == 2 && Leap(year));
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long Days(int year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long ofEra = year - era * 400;
    const long long ofYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + ofEra * 365 + ofEra / 4 - ofEra / 100 + ofYear - 719468;
}

std::optional<long long> Seconds(int year, int month, int day, long long clock) {
    if (!IsDate(year, month, day)) return std::nullopt;
    return Days(year, month, day) * 86400 + clock;
}

// "h:mm[:ss[.fraction]]" at `at`, as seconds into the day; -1 when it is no time.
long long Clock(std::string_view text, size_t& at) {
    int hour, minute, second = 0, ignored;
    if (!Digits(text, at, 2, hour) || !Take(text, at, ':') || !Digits(text, at, 2, minute))
        return -1;
    if (Take(text, at, ':') && !Digits(text, at, 2, second)) return -1;
    if (Take(text, at, '.') && !Digits(text, at, 9, ignored)) return -1;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
        ++at; // a fraction finer than nanoseconds
    if (hour > 23 || minute > 59 || second > 60) return -1;
    return hour * 3600LL + minute * 60LL + second;
}

// What follows an ISO 8601 time: nothing (UTC), "Z", or an offset, after a space or not.
bool Offset(std::string_view rest, long long& offset) {
    offset = 0;
    if (rest.empty() || rest == "Z") return true;
    if (rest[0] == ' ') rest.remove_prefix(1);
    if (rest.size() < 3 || (rest[0] != '+' && rest[0] != '-')) return false;
    size_t at = 1;
    int hours, minutes = 0;
    if (!Digits(rest, at, 2, hours) || at != 3) return false;
    Take(rest, at, ':');
    if (at < rest.size() && (!Digits(rest, at, 2, minutes) || at != rest.size())) return false;
    if (hours > 23 || minutes > 59) return false;
    offset = (rest[0] == '+' ? 1 : -1) * (hours * 3600LL + minutes * 60LL);
    return true;
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

TimeReading Iso(std::string_view text) {
    TimeReading reading;
    int year, month, day;
    size_t at = 0;
    if (!Digits(text, at, 4, year) || at != 4 || !Take(text, at, '-') ||
        !Digits(text, at, 2, month) || !Take(text, at, '-') || !Digits(text, at, 2, day) ||
        !(Take(text, at, 'T') || Take(text, at, ' ')))
        return reading;
    const long long clock = Clock(text, at);
    long long offset;
    if (clock < 0 || !Offset(text.substr(at), offset)) return reading;
    reading.monthFirst = reading.dayFirst = Seconds(year, month, day, clock - offset);
    return reading;
}

// "A/B/YYYY[,] h:mm[:ss][ AM|PM]": A/B is month/day or day/month.
TimeReading Numeric(std::string_view text) {
    TimeReading reading;
    int first, second, year;
    size_t at = 0;
    if (!Digits(text, at, 2, first) || !Take(text, at, '/') || !Digits(text, at, 2, second) ||
        !Take(text, at, '/'))
        return reading;
    const size_t yearAt = at;
    if (!Digits(text, at, 4, year) || at - yearAt != 4) return reading;
    Take(text, at, ',');
    if (!Take(text, at, ' ')) return reading;
    long long clock = Clock(text, at);
    const std::string_view rest = text.substr(at);
    reading.twelveHour = SameLetters(rest, " AM") || SameLetters(rest, " PM");
    if (clock < 0 || (!rest.empty() && !reading.twelveHour)) return TimeReading();
    if (reading.twelveHour) {
        const long long hour = clock / 3600;
        if (hour < 1 || hour > 12) return TimeReading();
        clock += ((hour % 12 + (SameLetters(rest, " PM") ? 12 : 0)) - hour) * 3600;
    }
    reading.numeric = true;
    reading.monthFirst = Seconds(year, first, second, clock);
    reading.dayFirst = Seconds(year, second, first, clock);
    return reading;
}

} // namespace

TimeReading ReadTime(std::string_view text) {
    const TimeReading iso = Iso(text);
    return iso.monthFirst ? iso : Numeric(text);
}

std::optional<long long> TimeIn(const TimeReading& reading, DateOrder order) {
    if (!reading.numeric) return reading.monthFirst;
    if (order == DateOrder::DayFirst) return reading.dayFirst;
    if (order == DateOrder::MonthFirst) return reading.monthFirst;
    if (reading.InDoubt()) return std::nullopt;
    return reading.monthFirst ? reading.monthFirst : reading.dayFirst;
}

std::string TimeText(long long seconds) {
    long long days = seconds / 86400, clock = seconds % 86400;
    if (clock < 0) {
        clock += 86400;
        --days;
    }
    // The inverse of Days (civil from days).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long ofEra = days - era * 146097;
    const long long yearOfEra = (ofEra - ofEra / 1460 + ofEra / 36524 - ofEra / 146096) / 365;
    const long long ofYear = ofEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long shifted = (5 * ofYear + 2) / 153;
    const long long day = ofYear - (153 * shifted + 2) / 5 + 1;
    const long long month = shifted < 10 ? shifted + 3 : shifted - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month, day,
                  clock / 3600, clock / 60 % 60, clock % 60);
    return text;
}

void DateEvidence::Note(const TimeReading& reading) {
    if (!reading.numeric) return;
    m_twelveHour = m_twelveHour || reading.twelveHour;
    if (reading.monthFirst && !reading.dayFirst) m_monthFirst = true;
    if (reading.dayFirst && !reading.monthFirst) m_dayFirst = true;
}

DateOrder DateEvidence::Settled() const {
    if (m_dayFirst != m_monthFirst) return m_dayFirst ? DateOrder::DayFirst : DateOrder::MonthFirst;
    if (!m_dayFirst && m_twelveHour) return DateOrder::MonthFirst;
    return DateOrder::Unsettled;
}
