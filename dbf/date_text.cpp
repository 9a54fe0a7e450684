#include "dbf/date_text.h"

#include "base/ascii.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace dbf {

bool CalendarDate::valid() const
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int limit = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= limit;
}

CalendarDate systemToday()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

long julianDay(const CalendarDate& date)
{
    if (!date.valid())
        return 0;
    // The usual Gregorian day-number formula, shifted so the year starts in March.
    const long a = (14 - date.month) / 12;
    const long y = date.year + 4800 - a;
    const long m = date.month + 12 * a - 3;
    return date.day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

CalendarDate fromJulianDay(long julian)
{
    if (julian <= 0)
        return {};
    const long a = julian + 32044;
    const long b = (4 * a + 3) / 146097;
    const long c = a - 146097 * b / 4;
    const long d = (4 * c + 3) / 1461;
    const long e = c - 1461 * d / 4;
    const long m = (5 * e + 2) / 153;
    CalendarDate out{int(100 * b + d - 4800 + m / 10), int(m + 3 - 12 * (m / 10)),
                     int(e - (153 * m + 2) / 5 + 1)};
    return out.valid() ? out : CalendarDate{};
}

int dayOfWeek(const CalendarDate& date)
{
    const long j = julianDay(date);
    return j == 0 ? 0 : int((j + 1) % 7) + 1;
}

std::string toDtos(const CalendarDate& date)
{
    if (!date.valid())
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.year, date.month, date.day);
    return text;
}

CalendarDate parseDtos(std::string_view text)
{
    if (text.size() < 8)
        return {};
    int parts[3] = {0, 0, 0};
    const int widths[3] = {4, 2, 2};
    size_t pos = 0;
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < widths[p]; ++i, ++pos) {
            if (!std::isdigit(static_cast<unsigned char>(text[pos])))
                return {};
            parts[p] = parts[p] * 10 + (text[pos] - '0');
        }
    }
    CalendarDate date{parts[0], parts[1], parts[2]};
    return date.valid() ? date : CalendarDate{};
}

namespace {

enum class Order { MonthDayYear, YearMonthDay, DayMonthYear };

Order orderOf(int style)
{
    switch (style) {
    case 0:
        return Order::MonthDayYear;
    case 1:
        return Order::YearMonthDay;
    default:
        return Order::DayMonthYear;
    }
}

char separatorOf(int style)
{
    switch (style) {
    case 0:
    case 2:
        return '/';
    case 3:
        return '-';
    default:
        return '.';
    }
}

} // namespace

std::string formatDate(const CalendarDate& date, int style, bool fourDigitYear)
{
    if (!date.valid())
        return blankDateText(style, fourDigitYear);
    char year[8];
    std::snprintf(year, sizeof year, fourDigitYear ? "%04d" : "%02d",
                  fourDigitYear ? date.year : date.year % 100);
    char month[4], day[4];
    std::snprintf(month, sizeof month, "%02d", date.month);
    std::snprintf(day, sizeof day, "%02d", date.day);
    const std::string sep(1, separatorOf(style));
    switch (orderOf(style)) {
    case Order::MonthDayYear:
        return month + sep + day + sep + year;
    case Order::YearMonthDay:
        return year + sep + month + sep + day;
    case Order::DayMonthYear:
        break;
    }
    return day + sep + month + sep + year;
}

std::string blankDateText(int style, bool fourDigitYear)
{
    const std::string sep(1, separatorOf(style));
    const std::string year = fourDigitYear ? "    " : "  ";
    if (orderOf(style) == Order::YearMonthDay)
        return year + sep + "  " + sep + "  ";
    return "  " + sep + "  " + sep + year;
}

bool isBlankDateText(std::string_view text)
{
    static constexpr std::array<std::string_view, 8> kShapes = {
        "        ", "          ", "  /  /  ", "  /  /    ",
        "  -  -  ", "  -  -    ", "  .  .  ", "  .  .    "};
    if (text.empty())
        return true;
    for (auto shape : kShapes)
        if (text == shape)
            return true;
    // The year-first style puts the wide year in front.
    return text == "    .  .  " || text == "  .  .  ";
}

CalendarDate parseDateText(std::string_view text, int style, int century)
{
    if (isBlankDateText(text))
        return {};
    int parts[3] = {-1, -1, -1};
    int digits[3] = {0, 0, 0};
    int part = 0;
    bool inNumber = false;
    for (char ch : text) {
        if (std::isdigit(static_cast<unsigned char>(ch))) {
            if (part > 2)
                return {};
            if (parts[part] < 0)
                parts[part] = 0;
            parts[part] = parts[part] * 10 + (ch - '0');
            ++digits[part];
            inNumber = true;
        } else if (inNumber) {
            ++part;
            inNumber = false;
        }
    }
    if (parts[0] < 0 || parts[1] < 0 || parts[2] < 0)
        return {};
    CalendarDate date;
    int yearDigits = 0;
    switch (orderOf(style)) {
    case Order::MonthDayYear:
        date = {parts[2], parts[0], parts[1]};
        yearDigits = digits[2];
        break;
    case Order::YearMonthDay:
        date = {parts[0], parts[1], parts[2]};
        yearDigits = digits[0];
        break;
    case Order::DayMonthYear:
        date = {parts[2], parts[1], parts[0]};
        yearDigits = digits[2];
        break;
    }
    if (yearDigits <= 2)
        date.year += century * 100;
    return date.valid() ? date : CalendarDate{};
}

int dateStyleFromFormat(std::string_view format)
{
    if (format.empty())
        return 0;
    const char first = base::upperAscii(format.front());
    if (first == 'Y')
        return 1;
    if (first != 'D')
        return 0;
    for (char ch : format) {
        if (ch == '-')
            return 3;
        if (ch == '.')
            return 5;
        if (ch == '/')
            return 2;
    }
    return 0;
}

bool fourDigitYearFromFormat(std::string_view format)
{
    return base::toUpper(format).find("YYYY") != std::string::npos;
}

namespace {

enum Language { kEnglish, kItalian, kFrench, kGerman, kSpanish, kRussian };

Language languageOf(int style)
{
    switch (style) {
    case 3:
        return kItalian;
    case 4:
    case 7:
        return kFrench;
    case 5:
        return kGerman;
    case 6:
        return kSpanish;
    case 8:
        return kRussian;
    default:
        return kEnglish;
    }
}

// Sunday first, as DOW() counts.
const char* const kDays[6][7] = {
    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
    {"Domenica", "Luned\xEC", "Marted\xEC", "Mercoled\xEC", "Gioved\xEC", "Venerd\xEC", "Sabato"},
    {"Dimanche", "Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi"},
    {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
    {"Domingo", "Lunes", "Martes", "Mi\xE9rcoles", "Jueves", "Viernes",
     "S\xE1"
     "bado"},
    {"\xC2\xEE\xF1\xEA\xF0\xE5\xF1\xE5\xED\xFC\xE5", "\xCF\xEE\xED\xE5\xE4\xE5\xEB\xFC\xED\xE8\xEA",
     "\xC2\xF2\xEE\xF0\xED\xE8\xEA", "\xD1\xF0\xE5\xE4\xE0", "\xD7\xE5\xF2\xE2\xE5\xF0\xE3",
     "\xCF\xFF\xF2\xED\xE8\xF6\xE0", "\xD1\xF3\xE1\xE1\xEE\xF2\xE0"},
};

const char* const kMonths[6][12] = {
    {"January", "February", "March", "April", "May", "June", "July", "August", "September",
     "October", "November", "December"},
    {"Gennaio", "Febbraio", "Marzo", "Aprile", "Maggio", "Giugno", "Luglio", "Agosto", "Settembre",
     "Ottobre", "Novembre", "Dicembre"},
    {"Janvier", "F\xE9vrier", "Mars", "Avril", "Mai", "Juin", "Juillet", "Ao\xFBt", "Septembre",
     "Octobre", "Novembre",
     "D\xE9"
     "cembre"},
    {"Januar", "Februar", "M\xE4rz", "April", "Mai", "Juni", "Juli", "August", "September",
     "Oktober", "November", "Dezember"},
    {"Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto", "Septiembre",
     "Octubre", "Noviembre", "Diciembre"},
    {"\xDF\xED\xE2\xE0\xF0\xFC", "\xD4\xE5\xE2\xF0\xE0\xEB\xFC", "\xCC\xE0\xF0\xF2",
     "\xC0\xEF\xF0\xE5\xEB\xFC", "\xCC\xE0\xE9", "\xC8\xFE\xED\xFC", "\xC8\xFE\xEB\xFC",
     "\xC0\xE2\xE3\xF3\xF1\xF2", "\xD1\xE5\xED\xF2\xFF\xE1\xF0\xFC", "\xCE\xEA\xF2\xFF\xE1\xF0\xFC",
     "\xCD\xEE\xFF\xE1\xF0\xFC", "\xC4\xE5\xEA\xE0\xE1\xF0\xFC"},
};

} // namespace

std::string dayName(int style, int dow)
{
    if (dow < 1 || dow > 7)
        return {};
    return kDays[languageOf(style)][dow - 1];
}

std::string monthName(int style, int month)
{
    if (month < 1 || month > 12)
        return {};
    return kMonths[languageOf(style)][month - 1];
}

} // namespace dbf
