#pragma once
// Answer data of a plausible FS for the driver tests.

#include <cstdint>
#include <ctime>
#include <string>

#include "fs/FsDateTime.hpp"
#include "primitives/Bytes.hpp"
#include "primitives/Tlv.hpp"

namespace kkt::test {

inline constexpr const char* kFsNumber = "9999078900012345";

// A local time (no daylight saving) as the FS date-time fields carry it.
inline std::time_t localTime(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = 0;
    return std::mktime(&tm);
}

// The 30 data bytes of a 0x30 answer.
inline Bytes statusAnswer(std::uint8_t phase, bool shiftOpen = false,
                          std::uint32_t lastDocument = 0,
                          std::time_t lastTime = localTime(2024, 12, 5, 10, 30),
                          const std::string& fsNumber = kFsNumber) {
    ByteWriter w;
    w.u8(phase).u8(0).u8(0).u8(shiftOpen ? 1 : 0).u8(0x04);
    const auto field = FsDateTime::encode(lastTime);
    w.bytes(field);
    std::string number = fsNumber;
    number.resize(16, ' ');
    w.text(number).u32(lastDocument);
    return w.take();
}

// The value of a 0x44 answer: one encoded element.
inline Bytes parameterAnswer(std::uint16_t tag, const std::string& text) {
    Tlv element;
    element.setText(tag, text);
    return element.encode();
}

}  // namespace kkt::test
