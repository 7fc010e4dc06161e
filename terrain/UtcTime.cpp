#include "terrain/UtcTime.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <fmt/format.h>

namespace sky {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms:
// years counted from March, so the leap day ends a year, in 400-year eras).
int64_t days_from_civil(int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(int64_t days, int& year, int& month, int& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t shifted_month = (5 * day_of_year + 2) / 153;
    day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

// Reads text as a cursor: each call takes what it wants from the front or fails.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    // Exactly count decimal digits.
    bool digits(int count, int& value)
    {
        if (m_text.size() < static_cast<size_t>(count))
            return false;
        value = 0;
        for (int i = 0; i < count; ++i) {
            const char c = m_text[static_cast<size_t>(i)];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        m_text.remove_prefix(static_cast<size_t>(count));
        return true;
    }
    bool literal(char c)
    {
        if (m_text.empty() || m_text.front() != c)
            return false;
        m_text.remove_prefix(1);
        return true;
    }
    // ".ddd" (1 to 9 digits) as a fraction, or nothing there at all (0).
    bool fraction(double& value)
    {
        value = 0.0;
        if (!literal('.'))
            return true;
        double scale = 0.1;
        int count = 0;
        while (!m_text.empty() && m_text.front() >= '0' && m_text.front() <= '9') {
            value += (m_text.front() - '0') * scale;
            scale *= 0.1;
            m_text.remove_prefix(1);
            ++count;
        }
        return count >= 1 && count <= 9;
    }
    bool at_end() const { return m_text.empty(); }

private:
    std::string_view m_text;
};

} // namespace

bool is_leap_year(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month)
{
    static constexpr int DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && is_leap_year(year) ? 29 : DAYS[month - 1];
}

std::optional<double> utc_seconds_from_civil(const CivilTime& t)
{
    if (t.year < 0 || t.year > 9999 || t.day < 1 || t.day > days_in_month(t.year, t.month) || t.hour < 0 ||
        t.hour > 23 || t.minute < 0 || t.minute > 59 || !(t.second >= 0.0 && t.second < 60.0))
        return std::nullopt;
    const int64_t days = days_from_civil(t.year, t.month, t.day);
    return static_cast<double>(days) * SECONDS_PER_DAY + t.hour * 3600.0 + t.minute * 60.0 + t.second;
}

CivilTime civil_from_utc_seconds(double utc_seconds)
{
    // The years 0-9999 (what the text can name); nothing outside them, not a number, reaches
    // the integer arithmetic.
    constexpr double FIRST = -62167219200.0, LAST = 253402300799.0;
    utc_seconds = std::isnan(utc_seconds) ? 0.0 : std::clamp(utc_seconds, FIRST, LAST);
    const double days = std::floor(utc_seconds / SECONDS_PER_DAY);
    // Within [0, 86400) but for rounding of the last bit.
    double rest = std::clamp(utc_seconds - days * SECONDS_PER_DAY, 0.0, std::nextafter(SECONDS_PER_DAY, 0.0));
    CivilTime t;
    civil_from_days(static_cast<int64_t>(days), t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600.0);
    rest -= t.hour * 3600.0;
    t.minute = std::min(static_cast<int>(rest / 60.0), 59);
    t.second = std::clamp(rest - t.minute * 60.0, 0.0, std::nextafter(60.0, 0.0));
    return t;
}

std::optional<double> parse_utc_time(std::string_view text)
{
    Reader r(text);
    CivilTime t;
    int whole_second = 0;
    double fraction = 0.0;
    if (!(r.digits(4, t.year) && r.literal('-') && r.digits(2, t.month) && r.literal('-') && r.digits(2, t.day) &&
          r.literal('T') && r.digits(2, t.hour) && r.literal(':') && r.digits(2, t.minute) && r.literal(':') &&
          r.digits(2, whole_second) && r.fraction(fraction)))
        return std::nullopt;
    if (whole_second > 59)
        return std::nullopt;
    t.second = whole_second + fraction;
    double offset_seconds = 0.0;
    if (!r.literal('Z')) {
        const bool east = r.literal('+');
        if (!east && !r.literal('-'))
            return std::nullopt;
        int hours = 0, minutes = 0;
        if (!(r.digits(2, hours) && r.literal(':') && r.digits(2, minutes)) || hours > 23 || minutes > 59)
            return std::nullopt;
        offset_seconds = (east ? 1.0 : -1.0) * (hours * 3600.0 + minutes * 60.0);
    }
    if (!r.at_end())
        return std::nullopt;
    const std::optional<double> local = utc_seconds_from_civil(t);
    if (!local)
        return std::nullopt;
    return *local - offset_seconds;
}

std::string format_utc_time(double utc_seconds)
{
    const CivilTime t = civil_from_utc_seconds(std::floor(utc_seconds));
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", t.year, t.month, t.day, t.hour, t.minute,
                       static_cast<int>(t.second));
}

std::optional<double> parse_time_setting(std::string_view text, double now_seconds)
{
    if (text == "now")
        return now_seconds;
    return parse_utc_time(text);
}

double system_utc_seconds()
{
    // The system clock counts Unix time (no leap seconds) from the same epoch.
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since_epoch).count();
}

} // namespace sky
