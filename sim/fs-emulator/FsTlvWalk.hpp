#pragma once
// The few TLV moves the FS needs on its side of the exchange: append an element, split a
// sequence into elements, read a little-endian number. Values are kept as raw bytes; the FS
// never interprets more of a document than its counters and its own fields need.

#include <cstdint>
#include <optional>
#include <vector>

#include "primitives/Bytes.hpp"

namespace kkt::sim {

struct FsTlvElement {
    std::uint16_t tag = 0;
    Bytes value;
};

class FsTlvWalk {
  public:
    static void append(Bytes& out, std::uint16_t tag, ByteView value);
    static void appendU32(Bytes& out, std::uint16_t tag, std::uint32_t value);
    static void appendU16(Bytes& out, std::uint16_t tag, std::uint16_t value);
    static void appendByte(Bytes& out, std::uint16_t tag, std::uint8_t value);
    // Variable-length number: the little-endian bytes without trailing zeros, at least one.
    static void appendVln(Bytes& out, std::uint16_t tag, std::uint64_t value);

    // The elements of a sequence; nullopt when an element is cut short or a tag is 0.
    [[nodiscard]] static std::optional<std::vector<FsTlvElement>> split(ByteView data);
    // Unsigned little-endian value of up to 8 bytes (longer values: their first 8 bytes).
    [[nodiscard]] static std::uint64_t number(ByteView value);
};

}  // namespace kkt::sim
