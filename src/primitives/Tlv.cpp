#include "primitives/Tlv.hpp"

#include "primitives/Inn.hpp"

namespace kkt {

namespace {

void setOk(bool* ok, bool value) {
    if (ok)
        *ok = value;
}

Bytes vlnBytes(std::uint64_t v) {
    Bytes out;
    le::append64(out, v);
    while (out.size() > 1 && out.back() == 0)
        out.pop_back();
    return out;
}

std::uint64_t vlnValue(ByteView value) {
    const std::size_t n = value.size() < 8 ? value.size() : 8;
    return le::readVar(value, 0, n).value_or(0);
}

}  // namespace

void Tlv::clear() {
    tag_ = 0;
    value_.clear();
}

Tlv& Tlv::setByte(std::uint16_t tag, std::uint8_t v) {
    tag_ = tag;
    value_.assign(1, v);
    return *this;
}

Tlv& Tlv::setFlag(std::uint16_t tag, bool v) {
    return setByte(tag, v ? 1 : 0);
}

Tlv& Tlv::setU16(std::uint16_t tag, std::uint16_t v) {
    tag_ = tag;
    value_ = ByteWriter().u16(v).take();
    return *this;
}

Tlv& Tlv::setU32(std::uint16_t tag, std::uint32_t v) {
    tag_ = tag;
    value_ = ByteWriter().u32(v).take();
    return *this;
}

Tlv& Tlv::setU64(std::uint16_t tag, std::uint64_t v) {
    tag_ = tag;
    value_ = ByteWriter().u64(v).take();
    return *this;
}

Tlv& Tlv::setVln(std::uint16_t tag, std::uint64_t v) {
    tag_ = tag;
    value_ = vlnBytes(v);
    return *this;
}

Tlv& Tlv::setFvln(std::uint16_t tag, const Decimal& v) {
    tag_ = tag;
    value_.assign(1, static_cast<std::uint8_t>(v.decimalPlaces()));
    const Bytes mantissa = vlnBytes(static_cast<std::uint64_t>(v.raw()));
    value_.insert(value_.end(), mantissa.begin(), mantissa.end());
    return *this;
}

Tlv& Tlv::setText(std::uint16_t tag, std::string_view text) {
    return setBytes(tag, asBytes(text));
}

Tlv& Tlv::setBytes(std::uint16_t tag, ByteView bytes) {
    tag_ = tag;
    value_.assign(bytes.begin(), bytes.end());
    return *this;
}

Tlv& Tlv::setInn(std::uint16_t tag, std::string_view inn) {
    std::string n = inn::normalise(inn);
    if (!inn::isValid(n)) {
        n = "000000000000";
    } else if (n.size() < 12) {
        n += "  ";
    }
    return setText(tag, n);
}

Tlv& Tlv::setStlv(std::uint16_t tag, const TlvList& children) {
    tag_ = tag;
    value_ = encodeList(children);
    return *this;
}

std::uint8_t Tlv::asByte(bool* ok) const {
    setOk(ok, value_.size() == 1);
    return value_.size() == 1 ? value_[0] : 0;
}

bool Tlv::asFlag(bool* ok) const {
    bool read = false;
    const bool v = asByte(&read) == 1;
    setOk(ok, read);
    return read && v;
}

std::uint16_t Tlv::asU16(bool* ok) const {
    setOk(ok, value_.size() == 2);
    return value_.size() == 2 ? le::load16(value_.data()) : 0;
}

std::uint32_t Tlv::asU32(bool* ok) const {
    setOk(ok, false);
    if (value_.size() == 4) {
        setOk(ok, true);
        return le::load32(value_.data());
    }
    if (tag_ == kFiscalSignTag && value_.size() == 6) {
        setOk(ok, true);
        // Big-endian, as the FS keeps the 6-byte fiscal sign.
        return (static_cast<std::uint32_t>(value_[2]) << 24) |
               (static_cast<std::uint32_t>(value_[3]) << 16) |
               (static_cast<std::uint32_t>(value_[4]) << 8) | value_[5];
    }
    return 0;
}

std::uint64_t Tlv::asU64(bool* ok) const {
    setOk(ok, value_.size() == 8);
    return value_.size() == 8 ? le::load64(value_.data()) : 0;
}

std::uint64_t Tlv::asU32OrU64(bool* ok) const {
    setOk(ok, false);
    if (value_.size() == 4)
        return asU32(ok);
    if (value_.size() == 8)
        return asU64(ok);
    return 0;
}

std::uint64_t Tlv::asVln() const {
    return vlnValue(value_);
}

Decimal Tlv::asFvln() const {
    if (value_.empty())
        return Decimal::withPlaces(0, 0);
    const auto mantissa = ByteView(value_).subspan(1);
    return Decimal::withPlaces(value_[0], static_cast<std::int64_t>(vlnValue(mantissa)));
}

std::string Tlv::asInn(bool* ok) const {
    std::string n = inn::normalise(asText());
    setOk(ok, inn::isValid(n));
    return n;
}

Bytes Tlv::encode() const {
    if (!isValid())
        return {};
    ByteWriter w(kHeaderSize + value_.size());
    w.u16(tag_).u16(static_cast<std::uint16_t>(value_.size())).bytes(value_);
    return w.take();
}

Bytes Tlv::encodeList(const TlvList& elements) {
    Bytes out;
    for (const Tlv& t : elements) {
        const Bytes e = t.encode();
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

bool Tlv::takeOne(ByteView& buffer, Tlv& out) {
    out.clear();
    ByteReader r(buffer);
    const auto tag = r.u16();
    const auto length = r.u16();
    if (!tag || !length)
        return false;
    const auto value = r.take(*length);
    if (!value)
        return false;
    out.tag_ = *tag;
    out.value_.assign(value->begin(), value->end());
    buffer = r.rest();
    return true;
}

TlvList Tlv::parseSequence(ByteView bytes, bool* ok) {
    setOk(ok, false);
    TlvList result;
    Tlv t;
    while (!bytes.empty()) {
        if (!takeOne(bytes, t))
            return result;
        if (t.isValid())
            result.push_back(std::move(t));
    }
    setOk(ok, !result.empty());
    return result;
}

TlvList Tlv::parseList(bool* ok) const {
    setOk(ok, false);
    if (!isValid())
        return {};
    return parseSequence(value_, ok);
}

TlvMap Tlv::parseMap(bool* ok) const {
    TlvMap result;
    for (Tlv& t : parseList(ok))
        result.emplace(t.tag(), std::move(t));
    return result;
}

TlvMultimap Tlv::parseMultimap(bool* ok) const {
    TlvMultimap result;
    // insert places an equal key after those already there, so sequence order is kept.
    for (Tlv& t : parseList(ok))
        result.insert({t.tag(), std::move(t)});
    return result;
}

bool Tlv::readOne(ByteView bytes) {
    clear();
    ByteReader r(bytes);
    const auto tag = r.u16();
    const auto length = r.u16();
    if (!tag || !length)
        return false;
    tag_ = *tag;
    if (r.remaining() != *length)
        return false;
    value_.assign(r.rest().begin(), r.rest().end());
    return true;
}

}  // namespace kkt
