#pragma once
// Little-endian byte work for every wire format and stored record of the register: host frames,
// FS frames, TLVs, EEPROM records and the cashier file all go through these helpers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kkt {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline ByteView asBytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}
inline std::string asString(ByteView b) {
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}
inline Bytes toBytes(std::string_view s) {
    auto v = asBytes(s);
    return {v.begin(), v.end()};
}

namespace le {

// Unchecked loads and stores: the caller has bounded the buffer.
constexpr std::uint16_t load16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
constexpr std::uint32_t load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
constexpr std::uint64_t load64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(load32(p)) |
           (static_cast<std::uint64_t>(load32(p + 4)) << 32);
}
constexpr void store16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
constexpr void store32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
constexpr void store64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Checked reads at an offset: nullopt when the field does not fit in the buffer.
std::optional<std::uint16_t> read16(ByteView b, std::size_t offset);
std::optional<std::uint32_t> read32(ByteView b, std::size_t offset);
std::optional<std::uint64_t> read64(ByteView b, std::size_t offset);

// Unsigned little-endian integer of 0 to 8 bytes (the FS's variable-length numbers).
std::optional<std::uint64_t> readVar(ByteView b, std::size_t offset, std::size_t size);

void append16(Bytes& out, std::uint16_t v);
void append32(Bytes& out, std::uint32_t v);
void append64(Bytes& out, std::uint64_t v);

}  // namespace le

// Bounds-checked cursor over a byte span. A read past the end yields nullopt and marks the
// reader failed; it never touches memory outside the span.
class ByteReader {
  public:
    explicit ByteReader(ByteView data) : data_(data) {}

    std::optional<std::uint8_t> u8();
    std::optional<std::uint16_t> u16();
    std::optional<std::uint32_t> u32();
    std::optional<std::uint64_t> u64();
    // The next n bytes as a view into the underlying buffer.
    std::optional<ByteView> take(std::size_t n);
    bool skip(std::size_t n);
    ByteView rest() const { return data_.subspan(pos_); }

    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }
    bool failed() const { return failed_; }

  private:
    ByteView data_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

// Appending writer into an owned buffer.
class ByteWriter {
  public:
    ByteWriter() = default;
    explicit ByteWriter(std::size_t reserve) { buf_.reserve(reserve); }

    ByteWriter& u8(std::uint8_t v) {
        buf_.push_back(v);
        return *this;
    }
    ByteWriter& u16(std::uint16_t v) {
        le::append16(buf_, v);
        return *this;
    }
    ByteWriter& u32(std::uint32_t v) {
        le::append32(buf_, v);
        return *this;
    }
    ByteWriter& u64(std::uint64_t v) {
        le::append64(buf_, v);
        return *this;
    }
    ByteWriter& bytes(ByteView v) {
        buf_.insert(buf_.end(), v.begin(), v.end());
        return *this;
    }
    ByteWriter& text(std::string_view s) { return bytes(asBytes(s)); }
    ByteWriter& fill(std::size_t n, std::uint8_t v) {
        buf_.insert(buf_.end(), n, v);
        return *this;
    }

    const Bytes& data() const { return buf_; }
    Bytes take() { return std::move(buf_); }
    std::size_t size() const { return buf_.size(); }

  private:
    Bytes buf_;
};

}  // namespace kkt
