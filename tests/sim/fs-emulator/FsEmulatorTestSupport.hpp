#pragma once
// Requests as the register builds them, for driving the emulator's command handler directly.

#include <cstdint>
#include <string_view>

#include "fs-emulator/FsEmulator.hpp"
#include "primitives/Tlv.hpp"

namespace kkt::sim::test {

inline Bytes dt(int year, int month, int day, int hour, int minute) {
    return {static_cast<std::uint8_t>(year - 2000), static_cast<std::uint8_t>(month),
            static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(hour),
            static_cast<std::uint8_t>(minute)};
}

inline Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes text(std::string_view s, std::size_t width) {
    Bytes b(width, ' ');
    for (std::size_t i = 0; i < s.size() && i < width; ++i)
        b[i] = static_cast<std::uint8_t>(s[i]);
    return b;
}

inline constexpr std::string_view kInn = "7707083893";
inline constexpr std::string_view kRn = "0000000001012345";
inline constexpr std::string_view kOfdInn = "7704211201";

// Registration record after the date-time: INN, RN, tax systems, mode bytes, OFD INN[, reasons].
inline Bytes regRecord(std::uint8_t tax = 0x01, std::uint8_t mode = 0x00, std::uint8_t ext = 0x00,
                       std::optional<std::uint32_t> reasons = std::nullopt) {
    Bytes r = cat(text(kInn, 12), text(kRn, 20));
    r.insert(r.end(), {tax, mode, ext});
    r = cat(r, text(kOfdInn, 12));
    if (reasons)
        le::append32(r, *reasons);
    return r;
}

// Receipt close data: date-time, operation type, 5-byte total.
inline Bytes closeData(const Bytes& time, std::uint8_t operation, std::uint64_t total) {
    Bytes d = time;
    d.push_back(operation);
    for (int i = 0; i < 5; ++i)
        d.push_back(static_cast<std::uint8_t>(total >> (8 * i)));
    return d;
}

inline Bytes tlvs(std::initializer_list<Tlv> list) {
    return Tlv::encodeList(TlvList(list));
}

}  // namespace kkt::sim::test
