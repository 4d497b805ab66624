#include "primitives/Bytes.hpp"

namespace kkt::le {

namespace {
bool fits(ByteView b, std::size_t offset, std::size_t size) {
    return offset <= b.size() && size <= b.size() - offset;
}
}  // namespace

std::optional<std::uint16_t> read16(ByteView b, std::size_t offset) {
    if (!fits(b, offset, 2))
        return std::nullopt;
    return load16(b.data() + offset);
}

std::optional<std::uint32_t> read32(ByteView b, std::size_t offset) {
    if (!fits(b, offset, 4))
        return std::nullopt;
    return load32(b.data() + offset);
}

std::optional<std::uint64_t> read64(ByteView b, std::size_t offset) {
    if (!fits(b, offset, 8))
        return std::nullopt;
    return load64(b.data() + offset);
}

std::optional<std::uint64_t> readVar(ByteView b, std::size_t offset, std::size_t size) {
    if (size > 8 || !fits(b, offset, size))
        return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < size; ++i)
        v |= static_cast<std::uint64_t>(b[offset + i]) << (8 * i);
    return v;
}

void append16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void append32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void append64(Bytes& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace kkt::le

namespace kkt {

std::optional<std::uint8_t> ByteReader::u8() {
    if (remaining() < 1) {
        failed_ = true;
        return std::nullopt;
    }
    return data_[pos_++];
}

std::optional<std::uint16_t> ByteReader::u16() {
    auto v = le::read16(data_, pos_);
    if (!v) {
        failed_ = true;
        return std::nullopt;
    }
    pos_ += 2;
    return v;
}

std::optional<std::uint32_t> ByteReader::u32() {
    auto v = le::read32(data_, pos_);
    if (!v) {
        failed_ = true;
        return std::nullopt;
    }
    pos_ += 4;
    return v;
}

std::optional<std::uint64_t> ByteReader::u64() {
    auto v = le::read64(data_, pos_);
    if (!v) {
        failed_ = true;
        return std::nullopt;
    }
    pos_ += 8;
    return v;
}

std::optional<ByteView> ByteReader::take(std::size_t n) {
    if (remaining() < n) {
        failed_ = true;
        return std::nullopt;
    }
    auto v = data_.subspan(pos_, n);
    pos_ += n;
    return v;
}

bool ByteReader::skip(std::size_t n) {
    return take(n).has_value();
}

}  // namespace kkt
