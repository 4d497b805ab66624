#pragma once
// Totals of one kind of operation (income, expense and their returns) by means of payment, as
// the FS keeps them per shift and over its life.

#include <cstdint>

#include "primitives/Decimal.hpp"
#include "primitives/Tlv.hpp"

namespace kkt {

class FsShortOperationCounters {
  public:
    static constexpr std::uint16_t kCountTag = 1135;
    static constexpr std::uint16_t kTotalTag = 1201;
    static constexpr std::uint16_t kCashTag = 1136;
    static constexpr std::uint16_t kElectronicTag = 1138;
    static constexpr std::uint16_t kAdvanceTag = 1218;
    static constexpr std::uint16_t kCreditTag = 1219;
    static constexpr std::uint16_t kOtherTag = 1220;

    FsShortOperationCounters() = default;
    FsShortOperationCounters(const FsShortOperationCounters&) = default;
    FsShortOperationCounters& operator=(const FsShortOperationCounters&) = default;
    virtual ~FsShortOperationCounters() = default;

    // Count 0 and every sum 0.00.
    virtual void reset();
    // Resets, then takes each of its tags that the container (an STLV) holds; absent tags stay
    // 0. False when the container's value is not a well-formed sequence of elements.
    virtual bool fromTlv(const Tlv& container);

    std::int32_t count = 0;
    Decimal total;
    Decimal cash;
    Decimal electronic;
    Decimal advance;
    Decimal credit;
    Decimal other;

  protected:
    // A sum element: an unsigned count of kopecks.
    static Decimal money(const TlvMap& map, std::uint16_t tag);
    static std::int32_t number(const TlvMap& map, std::uint16_t tag);
    void takeBase(const TlvMap& map);
};

}  // namespace kkt
