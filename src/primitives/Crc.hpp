#pragma once
// The two checksums of the register: CRC-16/CCITT-FALSE over host and FS frames and the
// cashier records, CRC-32 (IEEE 802.3) for transaction ids and record check values.

#include <array>
#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt {

// Polynomial 0x1021, MSB first, initial 0xFFFF, no final XOR. Table-driven.
class Crc16 {
  public:
    using Table = std::array<std::uint16_t, 256>;
    static constexpr std::uint16_t kInit = 0xFFFF;

    static constexpr Table makeTable() {
        Table t{};
        for (unsigned i = 0; i < 256; ++i) {
            std::uint16_t r = static_cast<std::uint16_t>(i << 8);
            for (int bit = 0; bit < 8; ++bit) {
                r = (r & 0x8000) ? static_cast<std::uint16_t>((r << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(r << 1);
            }
            t[i] = r;
        }
        return t;
    }

    static const Table& table();

    // Continues a running CRC over more bytes (start with kInit).
    static std::uint16_t update(std::uint16_t crc, ByteView data);
    static std::uint16_t compute(ByteView data) { return update(kInit, data); }
};

// Reflected polynomial 0xEDB88320, initial and final XOR 0xFFFFFFFF.
class Crc32 {
  public:
    static std::uint32_t compute(ByteView data);
};

}  // namespace kkt
