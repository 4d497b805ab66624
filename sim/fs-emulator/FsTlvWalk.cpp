#include "fs-emulator/FsTlvWalk.hpp"

namespace kkt::sim {

void FsTlvWalk::append(Bytes& out, std::uint16_t tag, ByteView value) {
    le::append16(out, tag);
    le::append16(out, static_cast<std::uint16_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
}

void FsTlvWalk::appendU32(Bytes& out, std::uint16_t tag, std::uint32_t value) {
    Bytes v;
    le::append32(v, value);
    append(out, tag, v);
}

void FsTlvWalk::appendU16(Bytes& out, std::uint16_t tag, std::uint16_t value) {
    Bytes v;
    le::append16(v, value);
    append(out, tag, v);
}

void FsTlvWalk::appendByte(Bytes& out, std::uint16_t tag, std::uint8_t value) {
    const std::uint8_t v[1] = {value};
    append(out, tag, v);
}

void FsTlvWalk::appendVln(Bytes& out, std::uint16_t tag, std::uint64_t value) {
    Bytes v;
    do {
        v.push_back(static_cast<std::uint8_t>(value));
        value >>= 8;
    } while (value != 0);
    append(out, tag, v);
}

std::optional<std::vector<FsTlvElement>> FsTlvWalk::split(ByteView data) {
    std::vector<FsTlvElement> elements;
    ByteReader r(data);
    while (!r.atEnd()) {
        const auto tag = r.u16();
        const auto len = r.u16();
        if (!tag || !len || *tag == 0)
            return std::nullopt;
        const auto value = r.take(*len);
        if (!value)
            return std::nullopt;
        elements.push_back({*tag, Bytes(value->begin(), value->end())});
    }
    return elements;
}

std::uint64_t FsTlvWalk::number(ByteView value) {
    std::uint64_t v = 0;
    const std::size_t n = value.size() < 8 ? value.size() : 8;
    for (std::size_t i = 0; i < n; ++i)
        v |= static_cast<std::uint64_t>(value[i]) << (8 * i);
    return v;
}

}  // namespace kkt::sim
