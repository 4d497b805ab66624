#include "primitives/Crc.hpp"

namespace kkt {

namespace {
constexpr Crc16::Table kCrc16Table = Crc16::makeTable();

constexpr std::array<std::uint32_t, 256> makeCrc32Table() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1u) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        t[i] = r;
    }
    return t;
}
constexpr auto kCrc32Table = makeCrc32Table();
}  // namespace

const Crc16::Table& Crc16::table() {
    return kCrc16Table;
}

std::uint16_t Crc16::update(std::uint16_t crc, ByteView data) {
    for (std::uint8_t b : data) {
        crc = static_cast<std::uint16_t>(kCrc16Table[((crc >> 8) ^ b) & 0xFF] ^ (crc << 8));
    }
    return crc;
}

std::uint32_t Crc32::compute(ByteView data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : data)
        crc = kCrc32Table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace kkt
