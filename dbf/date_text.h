#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace dbf {

// A day of the proleptic Gregorian calendar; all zero is the empty date.
struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;

    bool valid() const;
    bool operator==(const CalendarDate&) const = default;
};

// Supplies "today"; the engine stamps it into table headers and uses it for
// DATE(). Tests install a fixed clock so that files are reproducible.
using Clock = std::function<CalendarDate()>;
CalendarDate systemToday();

// Date styles of the record buffer: 0 month/day/year "/", 1 year.month.day,
// 2 day/month/year "/", 3 day-month-year, 4 to 8 day.month.year. Each style
// also picks the language of day and month names.
constexpr int kDateStyleCount = 9;

// Julian day number; 1 January of year 1 is 1721426. Invalid dates give 0.
long julianDay(const CalendarDate& date);
CalendarDate fromJulianDay(long julian);
// 1 = Sunday ... 7 = Saturday, 0 for an invalid date.
int dayOfWeek(const CalendarDate& date);

// Eight digits YYYYMMDD as stored in a "D" field; empty text for an invalid
// date. Parsing returns the empty date for blanks and anything malformed.
std::string toDtos(const CalendarDate& date);
CalendarDate parseDtos(std::string_view text);

// The display text in a style: 8 characters, or 10 with the four-digit year.
std::string formatDate(const CalendarDate& date, int style, bool fourDigitYear);
std::string blankDateText(int style, bool fourDigitYear);
// Reads a display text in a style. A two-digit year is placed in `century`
// (20 for the years 2000 to 2099). Blank or malformed text gives the empty date.
CalendarDate parseDateText(std::string_view text, int style, int century);
// True for the blank shapes ("        ", "  /  /  ", "  .  .    ", ...).
bool isBlankDateText(std::string_view text);

// The style and the four-digit-year setting that a short date format such as
// "dd.MM.yyyy" or "M/d/yy" implies.
int dateStyleFromFormat(std::string_view format);
bool fourDigitYearFromFormat(std::string_view format);

// Names in the language tied to the style (Windows-1252 text; Russian names
// are Windows-1251, the code page such a system would use).
std::string dayName(int style, int dayOfWeek);
std::string monthName(int style, int month);

} // namespace dbf
