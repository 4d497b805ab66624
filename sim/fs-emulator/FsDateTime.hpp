#pragma once
// The FS's own notion of time: the 5-byte local date-time of the exchange protocol (year - 2000,
// month, day, hour, minute). The FS has no clock; every time it knows came in a request.

#include <cstdint>
#include <optional>

#include "primitives/Bytes.hpp"

namespace kkt::sim {

struct FsDateTime {
    std::uint8_t year = 0;  // years after 2000
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;

    // A 5-byte field with a real calendar date and time; nullopt otherwise.
    [[nodiscard]] static std::optional<FsDateTime> fromBytes(ByteView field);
    // The date-time of a Unix time read as local fields in UTC (the FFD convention).
    [[nodiscard]] static FsDateTime fromUnix(std::int64_t seconds);

    [[nodiscard]] bool isZero() const { return year == 0 && month == 0 && day == 0; }
    // Minutes since 2000-01-01 00:00, for ordering and the 24-hour rule.
    [[nodiscard]] std::int64_t minutes() const;
    // Seconds since 1970 with the local fields taken as UTC (what tag 1012 carries).
    [[nodiscard]] std::int64_t unixTime() const;
    // The same date-time some whole months later, the day clamped to the month's end.
    [[nodiscard]] FsDateTime plusMonths(int months) const;

    void append(Bytes& out) const;      // 5 bytes
    void appendDate(Bytes& out) const;  // 3 bytes: year, month, day

    friend bool operator==(const FsDateTime&, const FsDateTime&) = default;
};

}  // namespace kkt::sim
