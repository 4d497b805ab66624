#pragma once
// One fiscal tag-length-value element as host, core and FS exchange it: tag u16, length u16,
// value, little-endian. An STLV is an element whose value is itself a sequence of elements.
// Nothing here throws or reads past a buffer: wrong lengths read as 0 (or empty) with ok false.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "primitives/Bytes.hpp"
#include "primitives/Decimal.hpp"

namespace kkt {

class Tlv;
using TlvList = std::vector<Tlv>;
using TlvMap = std::map<std::uint16_t, Tlv>;
using TlvMultimap = std::multimap<std::uint16_t, Tlv>;

class Tlv {
  public:
    static constexpr std::size_t kHeaderSize = 4;
    // A value of 0xFFFF bytes or more makes the element invalid.
    static constexpr std::size_t kMaxValueSize = 0xFFFE;
    // The fiscal sign: stored in 6 bytes in some FS records, its 32-bit part in bytes 2-5.
    static constexpr std::uint16_t kFiscalSignTag = 1077;

    Tlv() = default;
    Tlv(std::uint16_t tag, Bytes value) : tag_(tag), value_(std::move(value)) {}

    [[nodiscard]] std::uint16_t tag() const { return tag_; }
    [[nodiscard]] const Bytes& value() const { return value_; }
    // Tag not 0 and value shorter than 0xFFFF bytes; only valid elements are encoded and kept.
    [[nodiscard]] bool isValid() const { return tag_ != 0 && value_.size() <= kMaxValueSize; }
    void clear();

    // Writers: each sets the tag and replaces the value.
    Tlv& setByte(std::uint16_t tag, std::uint8_t v);
    Tlv& setFlag(std::uint16_t tag, bool v);
    Tlv& setU16(std::uint16_t tag, std::uint16_t v);
    Tlv& setU32(std::uint16_t tag, std::uint32_t v);
    Tlv& setU64(std::uint16_t tag, std::uint64_t v);
    // Little-endian without trailing zero bytes, at least one byte.
    Tlv& setVln(std::uint16_t tag, std::uint64_t v);
    // Decimal places byte, then the raw value as VLN.
    Tlv& setFvln(std::uint16_t tag, const Decimal& v);
    Tlv& setText(std::uint16_t tag, std::string_view text);
    Tlv& setBytes(std::uint16_t tag, ByteView bytes);
    // The normalised INN as the FS expects it (12 characters; "000000000000" when not valid).
    Tlv& setInn(std::uint16_t tag, std::string_view inn);
    // The encodings of the list's valid elements, in list order.
    Tlv& setStlv(std::uint16_t tag, const TlvList& children);

    // Readers: ok (when given) is cleared first and set only on success.
    [[nodiscard]] std::uint8_t asByte(bool* ok = nullptr) const;
    [[nodiscard]] bool asFlag(bool* ok = nullptr) const;
    [[nodiscard]] std::uint16_t asU16(bool* ok = nullptr) const;
    // 4 bytes; for the fiscal sign also 6 bytes (bytes 2-5 big-endian).
    [[nodiscard]] std::uint32_t asU32(bool* ok = nullptr) const;
    [[nodiscard]] std::uint64_t asU64(bool* ok = nullptr) const;
    // 4 bytes as asU32, 8 bytes as asU64, anything else 0.
    [[nodiscard]] std::uint64_t asU32OrU64(bool* ok = nullptr) const;
    // Zero-extended to 8 bytes; a longer value contributes its first 8 bytes.
    [[nodiscard]] std::uint64_t asVln() const;
    // Places byte and up to 8 mantissa bytes (extra bytes ignored). Places that do not fit a
    // 32-bit scale give scale 0 (see Decimal::withPlaces).
    [[nodiscard]] Decimal asFvln() const;
    [[nodiscard]] std::string asText() const { return asString(value_); }
    // Normalised INN; ok when it is valid.
    [[nodiscard]] std::string asInn(bool* ok = nullptr) const;

    // The wire form; an invalid element encodes to nothing.
    [[nodiscard]] Bytes encode() const;
    [[nodiscard]] static Bytes encodeList(const TlvList& elements);

    // Parses one element from the front of buffer and advances buffer past it. On false the
    // buffer is unchanged and out is cleared.
    [[nodiscard]] static bool takeOne(ByteView& buffer, Tlv& out);
    // Valid elements of a sequence; ok when all bytes were consumed and something was kept.
    // A truncated element stops parsing with ok false, keeping the elements before it.
    [[nodiscard]] static TlvList parseSequence(ByteView bytes, bool* ok = nullptr);
    // This element's value as a sequence (empty with ok false when this element is invalid).
    [[nodiscard]] TlvList parseList(bool* ok = nullptr) const;
    // The first element of each tag.
    [[nodiscard]] TlvMap parseMap(bool* ok = nullptr) const;
    // All elements; equal tags in sequence order.
    [[nodiscard]] TlvMultimap parseMultimap(bool* ok = nullptr) const;
    // bytes must hold exactly one element. With a wrong length the tag is still taken and
    // the value stays empty.
    [[nodiscard]] bool readOne(ByteView bytes);

    friend bool operator==(const Tlv&, const Tlv&) = default;

  private:
    std::uint16_t tag_ = 0;
    Bytes value_;
};

}  // namespace kkt
