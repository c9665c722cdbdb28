#include "vantrel/date_time.h"

#include <cstdint>

namespace vantrel {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool LeapYear(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Reads exactly `count` digits at `at`.
std::optional<unsigned> Digits(std::string_view text, std::size_t& at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    at += count;
    return value;
}

bool Take(std::string_view text, std::size_t& at, char c) {
    if (at < text.size() && text[at] == c) return ++at, true;
    return false;
}

}  // namespace

std::optional<Instant> ParseDateTime(std::string_view text) {
    std::size_t at = 0;
    const auto year = Digits(text, at, 4);
    if (!year || !Take(text, at, '-')) return std::nullopt;
    const auto month = Digits(text, at, 2);
    if (!month || !Take(text, at, '-')) return std::nullopt;
    const auto day = Digits(text, at, 2);
    if (!day || *month < 1 || *month > 12) return std::nullopt;
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const unsigned monthDays = kDays[*month - 1] + (*month == 2 && LeapYear(*year) ? 1 : 0);
    if (*day < 1 || *day > monthDays) return std::nullopt;
    double seconds = 86400.0 * static_cast<double>(DaysFromCivil(*year, *month, *day));
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        ++at;
        const auto hour = Digits(text, at, 2);
        if (!hour || !Take(text, at, ':')) return std::nullopt;
        const auto minute = Digits(text, at, 2);
        if (!minute || *hour > 23 || *minute > 59) return std::nullopt;
        double second = 0.0;
        if (Take(text, at, ':')) {
            const auto whole = Digits(text, at, 2);
            if (!whole || *whole > 59) return std::nullopt;
            second = *whole;
            if (Take(text, at, '.') || Take(text, at, ',')) {
                double scale = 0.1;
                const std::size_t first = at;
                while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                    second += scale * (text[at++] - '0');
                    scale /= 10;
                }
                if (at == first) return std::nullopt;
            }
        }
        seconds += 3600.0 * *hour + 60.0 * *minute + second;
    }
    bool zoned = false;
    if (Take(text, at, 'Z')) {
        zoned = true;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const double sign = text[at++] == '+' ? 1.0 : -1.0;
        const auto hours = Digits(text, at, 2);
        if (!hours) return std::nullopt;
        Take(text, at, ':');
        const auto minutes = at < text.size() ? Digits(text, at, 2) : std::optional<unsigned>(0);
        if (!minutes || *hours > 23 || *minutes > 59) return std::nullopt;
        seconds -= sign * (3600.0 * *hours + 60.0 * *minutes);
        zoned = true;
    }
    if (at != text.size()) return std::nullopt;
    return Instant{seconds, zoned};
}

}  // namespace vantrel
