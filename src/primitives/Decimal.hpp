#pragma once
// Exact decimal amounts: money (scale 100, kopecks), quantities and VAT sums. The value is
// raw / scale; scale 0 means the raw value is the value itself. Overflow of the raw value wraps
// (two's complement), it never traps.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "primitives/Bytes.hpp"

namespace kkt {

// How a value is reduced to a smaller scale; the register settings byte selects it.
enum class RoundingMode : std::uint8_t {
    HalfUp = 0,
    HalfEven = 1,
};

// The settings byte: 1 selects half to even, anything else half up.
[[nodiscard]] constexpr RoundingMode roundingModeFromSetting(std::uint8_t setting) {
    return setting == 1 ? RoundingMode::HalfEven : RoundingMode::HalfUp;
}

// Where rescaled() reads the rounding mode at every call (the settings own it). An empty
// function restores the default, half up. Install it before the threads start.
void setRoundingModeSource(std::function<RoundingMode()> source);
[[nodiscard]] RoundingMode currentRoundingMode();

class Decimal {
  public:
    static constexpr std::uint32_t kMoneyScale = 100;
    // 10^9 is the largest power of ten a 32-bit scale holds.
    static constexpr int kMaxDecimalPlaces = 9;

    constexpr Decimal() = default;
    constexpr explicit Decimal(std::uint32_t scale) : scale_(scale) {}
    constexpr Decimal(std::uint32_t scale, std::int64_t raw) : scale_(scale), raw_(raw) {}

    // Scale 10^places; more than kMaxDecimalPlaces places do not fit and give scale 0, which
    // no quantity or money check accepts.
    [[nodiscard]] static Decimal withPlaces(int places, std::int64_t raw);

    [[nodiscard]] constexpr std::uint32_t scale() const { return scale_; }
    [[nodiscard]] constexpr std::int64_t raw() const { return raw_; }
    void setScale(std::uint32_t scale) { scale_ = scale; }
    // A negative count leaves the scale unchanged; see withPlaces for counts that do not fit.
    void setDecimalPlaces(int places);
    void setRaw(std::int64_t raw) { raw_ = raw; }
    // The first 8 bytes, little-endian (zero-extended when shorter).
    void setRaw(ByteView bytes);

    // How often the scale divides by 10 while above 1 (100 -> 2, 1 -> 0, 0 -> 0).
    [[nodiscard]] int decimalPlaces() const;

    [[nodiscard]] double toDouble() const;
    // Keeps the scale; rounds half to even on the first dropped decimal digit.
    void setFromDouble(double x);

    // Rounds with currentRoundingMode() when the scale shrinks.
    [[nodiscard]] Decimal rescaled(std::uint32_t newScale) const;
    [[nodiscard]] Decimal rescaled(std::uint32_t newScale, RoundingMode mode) const;

    [[nodiscard]] static Decimal sum(const Decimal& a, const Decimal& b);
    [[nodiscard]] static Decimal difference(const Decimal& a, const Decimal& b);
    // Scale a.scale * b.scale, raw a.raw * b.raw; both wrap.
    [[nodiscard]] static Decimal product(const Decimal& a, const Decimal& b);

    // Equal scales compare raws; otherwise equal within 2.220446049250313e-16 as doubles.
    friend bool operator==(const Decimal& a, const Decimal& b);
    friend bool operator<(const Decimal& a, const Decimal& b);
    friend bool operator>(const Decimal& a, const Decimal& b);
    [[nodiscard]] friend bool operator<=(const Decimal& a, const Decimal& b) {
        return a == b || a < b;
    }
    [[nodiscard]] friend bool operator>=(const Decimal& a, const Decimal& b) {
        return a == b || a > b;
    }
    [[nodiscard]] friend Decimal operator+(const Decimal& a, const Decimal& b) { return sum(a, b); }
    [[nodiscard]] friend Decimal operator-(const Decimal& a, const Decimal& b) {
        return difference(a, b);
    }

    // "12.50", "-0.05"; groupSeparator (when not empty) goes between groups of three digits of
    // the integer part. Scale 0 or 1 prints the raw value alone.
    [[nodiscard]] std::string text(char decimalSeparator = '.',
                                   std::string_view groupSeparator = {}) const;

    // The FS sums: exactly 5 (or 6) bytes, unsigned little-endian. Any other length gives raw -1
    // and ok false.
    [[nodiscard]] static Decimal fromFs5(ByteView bytes, std::uint32_t scale, bool* ok = nullptr);
    [[nodiscard]] static Decimal fromFs6(ByteView bytes, std::uint32_t scale, bool* ok = nullptr);
    // The low 5 (or 6) bytes when the bytes above them are zero; otherwise empty, ok false.
    [[nodiscard]] Bytes toFs5(bool* ok = nullptr) const;
    [[nodiscard]] Bytes toFs6(bool* ok = nullptr) const;

  private:
    std::uint32_t scale_ = kMoneyScale;
    std::int64_t raw_ = 0;
};

}  // namespace kkt
