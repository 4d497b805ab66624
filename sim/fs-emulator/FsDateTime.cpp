#include "fs-emulator/FsDateTime.hpp"

#include <algorithm>

namespace kkt::sim {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

unsigned daysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

constexpr std::int64_t kEpoch2000Days = 10957;  // 2000-01-01 in days since 1970

}  // namespace

std::optional<FsDateTime> FsDateTime::fromBytes(ByteView field) {
    if (field.size() != 5)
        return std::nullopt;
    FsDateTime t{field[0], field[1], field[2], field[3], field[4]};
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(2000u + t.year, t.month) ||
        t.hour > 23 || t.minute > 59) {
        return std::nullopt;
    }
    return t;
}

FsDateTime FsDateTime::fromUnix(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Inverse of daysFromCivil.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
    FsDateTime t;
    if (y < 2000 || y > 2255)
        return t;
    t.year = static_cast<std::uint8_t>(y - 2000);
    t.month = static_cast<std::uint8_t>(m);
    t.day = static_cast<std::uint8_t>(d);
    t.hour = static_cast<std::uint8_t>(rest / 3600);
    t.minute = static_cast<std::uint8_t>(rest % 3600 / 60);
    return t;
}

std::int64_t FsDateTime::minutes() const {
    if (isZero())
        return 0;
    const std::int64_t days = daysFromCivil(2000 + year, month, day) - kEpoch2000Days;
    return days * 1440 + hour * 60 + minute;
}

std::int64_t FsDateTime::unixTime() const {
    if (isZero())
        return 0;
    return (minutes() + kEpoch2000Days * 1440) * 60;
}

FsDateTime FsDateTime::plusMonths(int months) const {
    FsDateTime t = *this;
    if (isZero())
        return t;
    int total = (month - 1) + months;
    int years = total / 12;
    total %= 12;
    const int newYear = std::min(255, year + years);
    t.year = static_cast<std::uint8_t>(newYear);
    t.month = static_cast<std::uint8_t>(total + 1);
    t.day =
        static_cast<std::uint8_t>(std::min<unsigned>(day, daysInMonth(2000u + t.year, t.month)));
    return t;
}

void FsDateTime::append(Bytes& out) const {
    out.insert(out.end(), {year, month, day, hour, minute});
}

void FsDateTime::appendDate(Bytes& out) const {
    out.insert(out.end(), {year, month, day});
}

}  // namespace kkt::sim
