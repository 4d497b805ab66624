#include "fs/FsDateTime.hpp"

namespace kkt {

namespace {

constexpr int kBaseYear = 2000;
constexpr int kLastYear = kBaseYear + 255;

std::time_t fromFields(int yy, int month, int day, int hour, int minute) {
    // A zero field means "no time"; a field outside the calendar would be silently moved to
    // another day by mktime, so neither gives a time value.
    if (yy == 0 && month == 0 && day == 0 && hour == 0 && minute == 0)
        return 0;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59)
        return 0;
    std::tm tm{};
    tm.tm_year = yy + kBaseYear - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = 0;
    tm.tm_isdst = 0;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != day)
        return 0;
    return t;
}

}  // namespace

FsDateTime::Field FsDateTime::encode(std::time_t t) {
    Field field{};
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr)
        return field;
    const int year = tm.tm_year + 1900;
    if (year <= kBaseYear || year > kLastYear)
        return field;
    field[0] = static_cast<std::uint8_t>(year - kBaseYear);
    field[1] = static_cast<std::uint8_t>(tm.tm_mon + 1);
    field[2] = static_cast<std::uint8_t>(tm.tm_mday);
    field[3] = static_cast<std::uint8_t>(tm.tm_hour);
    field[4] = static_cast<std::uint8_t>(tm.tm_min);
    return field;
}

void FsDateTime::append(Bytes& out, std::time_t t) {
    const auto field = encode(t);
    out.insert(out.end(), field.begin(), field.end());
}

std::time_t FsDateTime::decode(ByteView field) {
    if (field.size() != kSize)
        return 0;
    return fromFields(field[0], field[1], field[2], field[3], field[4]);
}

std::time_t FsDateTime::decodeDate(ByteView field) {
    if (field.size() != kDateSize)
        return 0;
    return fromFields(field[0], field[1], field[2], 0, 0);
}

}  // namespace kkt
