#include "primitives/Decimal.hpp"

#include <cmath>
#include <limits>
#include <utility>

namespace kkt {

namespace {

std::function<RoundingMode()>& roundingModeSource() {
    static std::function<RoundingMode()> source;
    return source;
}

// Two's-complement wrapping: signed overflow would be undefined behaviour.
std::int64_t wrapAdd(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t wrapSub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
std::int64_t wrapMul(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}

// Scale 0 means "the raw value is the value", which computes like scale 1.
std::int64_t effective(std::uint32_t scale) {
    return scale == 0 ? 1 : scale;
}

// Raw values of a and b brought to the larger scale (an operand of scale 0 gives factor 0).
std::pair<std::int64_t, std::int64_t> atLargerScale(const Decimal& a, const Decimal& b,
                                                    std::uint32_t& larger) {
    larger = a.scale() > b.scale() ? a.scale() : b.scale();
    const auto factor = [larger](std::uint32_t own) -> std::int64_t {
        return own == 0 ? 0 : larger / own;
    };
    return {wrapMul(a.raw(), factor(a.scale())), wrapMul(b.raw(), factor(b.scale()))};
}

std::uint64_t magnitude(std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    return v < 0 ? ~u + 1 : u;
}

std::string grouped(std::uint64_t v, std::string_view separator) {
    std::string digits = std::to_string(v);
    if (separator.empty())
        return digits;
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            out.append(separator);
        out.push_back(digits[i]);
    }
    return out;
}

Decimal fromFsForm(ByteView bytes, std::size_t size, std::uint32_t scale, bool* ok) {
    if (ok)
        *ok = false;
    if (bytes.size() != size)
        return {scale, -1};
    const auto v = le::readVar(bytes, 0, size);
    if (ok)
        *ok = true;
    return {scale, static_cast<std::int64_t>(v.value_or(0))};
}

Bytes toFsForm(std::int64_t raw, std::size_t size, bool* ok) {
    if (ok)
        *ok = false;
    const auto u = static_cast<std::uint64_t>(raw);
    if ((u >> (8 * size)) != 0)
        return {};
    Bytes all;
    le::append64(all, u);
    all.resize(size);
    if (ok)
        *ok = true;
    return all;
}

}  // namespace

void setRoundingModeSource(std::function<RoundingMode()> source) {
    roundingModeSource() = std::move(source);
}

RoundingMode currentRoundingMode() {
    const auto& source = roundingModeSource();
    return source ? source() : RoundingMode::HalfUp;
}

Decimal Decimal::withPlaces(int places, std::int64_t raw) {
    Decimal d(1, raw);
    d.setDecimalPlaces(places);
    return d;
}

void Decimal::setDecimalPlaces(int places) {
    if (places < 0)
        return;
    if (places > kMaxDecimalPlaces) {
        scale_ = 0;
        return;
    }
    std::uint32_t s = 1;
    for (int i = 0; i < places; ++i)
        s *= 10;
    scale_ = s;
}

void Decimal::setRaw(ByteView bytes) {
    const auto v = le::readVar(bytes, 0, bytes.size() < 8 ? bytes.size() : 8);
    raw_ = static_cast<std::int64_t>(v.value_or(0));
}

int Decimal::decimalPlaces() const {
    int n = 0;
    for (std::uint32_t s = scale_; s > 1; s /= 10)
        ++n;
    return n;
}

double Decimal::toDouble() const {
    if (scale_ == 0)
        return static_cast<double>(raw_);
    return static_cast<double>(raw_) / static_cast<double>(scale_);
}

void Decimal::setFromDouble(double x) {
    const double xs = x * static_cast<double>(effective(scale_));
    const double t = xs * 10.0;
    // 2^63: beyond it no 64-bit raw exists; saturate rather than convert out of range.
    constexpr double kLimit = 9223372036854775808.0;
    if (std::isnan(t)) {
        raw_ = 0;
        return;
    }
    if (!(std::fabs(t) < kLimit)) {
        raw_ = t > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
        return;
    }
    std::int64_t b = std::llround(t) / 10;
    // The first dropped digit itself, not rounded; epsilon only absorbs the binary
    // representation error of x (1.235 is stored as 1.23499999...).
    const double epsilon = 1e-9 + std::fabs(xs) * 1e-14;
    const double digit = std::floor((xs - static_cast<double>(b)) * 10.0 + epsilon);
    if (digit > 5.0 || (digit == 5.0 && b % 2 != 0))
        ++b;
    raw_ = b;
}

Decimal Decimal::rescaled(std::uint32_t newScale) const {
    return rescaled(newScale, currentRoundingMode());
}

Decimal Decimal::rescaled(std::uint32_t newScale, RoundingMode mode) const {
    const std::int64_t from = effective(scale_);
    const std::int64_t to = effective(newScale);
    if (to == from)
        return {newScale, raw_};
    if (to > from)
        return {newScale, wrapMul(raw_, to) / from};
    // Shrinking: factor f >= 2. (r mod f) * 10 / f is the first dropped digit; for a power of
    // ten it equals (r mod f) / (f / 10), and it stays defined when f is not one.
    const std::int64_t f = from / to;
    std::int64_t q = raw_ / f;
    const std::int64_t digit = (raw_ % f) * 10 / f;
    const bool up =
        mode == RoundingMode::HalfEven ? (digit > 5 || (digit == 5 && q % 2 != 0)) : digit > 4;
    if (up)
        ++q;
    return {newScale, q};
}

Decimal Decimal::sum(const Decimal& a, const Decimal& b) {
    if (a.scale_ == b.scale_)
        return {a.scale_, wrapAdd(a.raw_, b.raw_)};
    std::uint32_t scale = 0;
    const auto [ra, rb] = atLargerScale(a, b, scale);
    return {scale, wrapAdd(ra, rb)};
}

Decimal Decimal::difference(const Decimal& a, const Decimal& b) {
    if (a.scale_ == b.scale_)
        return {a.scale_, wrapSub(a.raw_, b.raw_)};
    std::uint32_t scale = 0;
    const auto [ra, rb] = atLargerScale(a, b, scale);
    return {scale, wrapSub(ra, rb)};
}

Decimal Decimal::product(const Decimal& a, const Decimal& b) {
    return {a.scale_ * b.scale_, wrapMul(a.raw_, b.raw_)};
}

bool operator==(const Decimal& a, const Decimal& b) {
    // Equal scales compare exactly: above 2^53 two raws can share one double, and equality
    // must agree with operator< there.
    if (a.scale_ == b.scale_)
        return a.raw_ == b.raw_;
    return std::fabs(a.toDouble() - b.toDouble()) <= 2.220446049250313e-16;
}

bool operator<(const Decimal& a, const Decimal& b) {
    if (a.scale_ == b.scale_)
        return a.raw_ < b.raw_;
    if (a.scale_ == 0)
        return true;
    if (b.scale_ == 0)
        return false;
    std::uint32_t scale = 0;
    const auto [ra, rb] = atLargerScale(a, b, scale);
    return ra < rb;
}

// a > b is b < a: the scale-0 rules and the raw comparison mirror each other.
bool operator>(const Decimal& a, const Decimal& b) {
    return b < a;
}

std::string Decimal::text(char decimalSeparator, std::string_view groupSeparator) const {
    if (scale_ <= 1)
        return std::to_string(raw_);
    const std::uint64_t a = magnitude(raw_);
    std::string out = raw_ < 0 ? "-" : "";
    out += grouped(a / scale_, groupSeparator);
    out.push_back(decimalSeparator);
    std::string fraction = std::to_string(a % scale_);
    const auto places = static_cast<std::size_t>(decimalPlaces());
    if (fraction.size() < places)
        fraction.insert(0, places - fraction.size(), '0');
    fraction.resize(places);
    return out + fraction;
}

Decimal Decimal::fromFs5(ByteView bytes, std::uint32_t scale, bool* ok) {
    return fromFsForm(bytes, 5, scale, ok);
}

Decimal Decimal::fromFs6(ByteView bytes, std::uint32_t scale, bool* ok) {
    return fromFsForm(bytes, 6, scale, ok);
}

Bytes Decimal::toFs5(bool* ok) const {
    return toFsForm(raw_, 5, ok);
}

Bytes Decimal::toFs6(bool* ok) const {
    return toFsForm(raw_, 6, ok);
}

}  // namespace kkt
