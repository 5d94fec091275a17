// The times the fleet's inputs carry, read as they are written: device management writes them
// in ISO 8601 or, in the portal's exports, with day and month in numbers, whose order only the
// file (or the administrator) can tell.
#pragma once
#include <optional>
#include <string>
#include <string_view>

// How day and month are ordered in a time such as "9/12/2026": unsettled (each file's own
// times settle it, if they can), or as --date-order says for the whole run.
enum class DateOrder { Unsettled, DayFirst, MonthFirst };

// A time as an export, a Graph page or a probe line writes it: ISO 8601 ("2026-12-09T08:15:00Z",
// fractions of a second, an offset such as "+01:00" after the time or after a space, or none
// for UTC), or with day and month in numbers ("12/9/2026 8:15:00 AM", "12/9/2026, 8:15:00 AM",
// "09/12/2026 06:00", as UTC). Read both ways where day and month could be swapped.
struct TimeReading {
    std::optional<long long> monthFirst, dayFirst; // seconds since 1970; nullopt: no such date
    bool numeric = false;                          // day and month in numbers: "9/12/2026"
    bool twelveHour = false;                       // with AM or PM
    // True when the two readings are two different dates.
    bool InDoubt() const { return numeric && monthFirst && dayFirst && *monthFirst != *dayFirst; }
};
TimeReading ReadTime(std::string_view text);
// The time in `order`: nullopt where it is no time, or (unsettled) in doubt.
std::optional<long long> TimeIn(const TimeReading& reading, DateOrder order);
// Seconds since 1970 as ISO 8601 in UTC: "2026-12-09T08:15:00Z".
std::string TimeText(long long seconds);

// What a file's own times say of its order of day and month. A time that is a date only one
// way round ("13/12/2026", "12/13/2026") shows the order; a time with AM or PM is the portal's
// US export, month first, unless the file shows otherwise. The order is known only when the
// whole file is read: the time that settles it may come after the ones it settles.
class DateEvidence {
  public:
    void Note(const TimeReading& reading);
    // Day first or month first where the file's times show only that one (else, with AM or PM,
    // month first); unsettled where they show neither or both.
    DateOrder Settled() const;

  private:
    bool m_dayFirst = false, m_monthFirst = false, m_twelveHour = false;
};
