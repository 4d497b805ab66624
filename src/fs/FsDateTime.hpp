#pragma once
// The date-time fields of FS data: local time in 5 bytes (year - 2000, month, day, hour, minute)
// or a 3-byte date (year - 2000, month, day).

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "primitives/Bytes.hpp"

namespace kkt {

class FsDateTime {
  public:
    static constexpr std::size_t kSize = 5;
    static constexpr std::size_t kDateSize = 3;
    using Field = std::array<std::uint8_t, kSize>;

    // Five zero bytes when the time cannot be converted or does not fall in 2001-2255.
    static Field encode(std::time_t t);
    static void append(Bytes& out, std::time_t t);
    // A 5-byte field to a local time value (seconds 0, no daylight saving). Any other length, an
    // all-zero field (no time) or a field outside the calendar decodes to 0.
    static std::time_t decode(ByteView field);
    // A 3-byte date field, as midnight of that day; 0 like decode().
    static std::time_t decodeDate(ByteView field);
};

}  // namespace kkt
