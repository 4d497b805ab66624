#pragma once
// The cash record (48 bytes at EEPROM offset 70): cash-in and cash-out counts and sums for the
// current shift and for all time, and the cash in the drawer. Sums are kopecks.

#include <array>
#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt {

class CashStatusData {
  public:
    static constexpr std::size_t kSize = 48;

    // All zero.
    CashStatusData() = default;
    // The stored form; 48 bytes of 0xFF (an erased EEPROM) read as all zero.
    explicit CashStatusData(ByteView raw);

    [[nodiscard]] std::uint16_t shiftCashInCount() const { return get16(kShiftInCount); }
    [[nodiscard]] std::uint64_t shiftCashInSum() const { return get64(kShiftInSum); }
    [[nodiscard]] std::uint16_t shiftCashOutCount() const { return get16(kShiftOutCount); }
    [[nodiscard]] std::uint64_t shiftCashOutSum() const { return get64(kShiftOutSum); }
    [[nodiscard]] std::uint16_t totalCashInCount() const { return get16(kTotalInCount); }
    [[nodiscard]] std::uint64_t totalCashInSum() const { return get64(kTotalInSum); }
    [[nodiscard]] std::uint16_t totalCashOutCount() const { return get16(kTotalOutCount); }
    [[nodiscard]] std::uint64_t totalCashOutSum() const { return get64(kTotalOutSum); }
    [[nodiscard]] std::int64_t cash() const { return static_cast<std::int64_t>(get64(kCash)); }

    void setCash(std::int64_t kopecks) { set64(kCash, static_cast<std::uint64_t>(kopecks)); }
    // Both cash-in counts +1 (16-bit, wrapping), both sums and the cash figure + amount.
    void addCashIn(std::uint64_t kopecks);
    // Both cash-out counts +1, both sums + amount, the cash figure - amount.
    void addCashOut(std::uint64_t kopecks);
    // Zeroes the current-shift counts and sums (a shift is opened).
    void resetShift();

    [[nodiscard]] ByteView bytes() const { return raw_; }

    friend bool operator==(const CashStatusData&, const CashStatusData&) = default;

  private:
    static constexpr std::size_t kShiftInCount = 0;
    static constexpr std::size_t kShiftInSum = 2;
    static constexpr std::size_t kShiftOutCount = 10;
    static constexpr std::size_t kShiftOutSum = 12;
    static constexpr std::size_t kTotalInCount = 20;
    static constexpr std::size_t kTotalInSum = 22;
    static constexpr std::size_t kTotalOutCount = 30;
    static constexpr std::size_t kTotalOutSum = 32;
    static constexpr std::size_t kCash = 40;

    [[nodiscard]] std::uint16_t get16(std::size_t at) const { return le::load16(raw_.data() + at); }
    [[nodiscard]] std::uint64_t get64(std::size_t at) const { return le::load64(raw_.data() + at); }
    void set16(std::size_t at, std::uint16_t v) { le::store16(raw_.data() + at, v); }
    void set64(std::size_t at, std::uint64_t v) { le::store64(raw_.data() + at, v); }

    std::array<std::uint8_t, kSize> raw_{};
};

}  // namespace kkt
