#pragma once
// The counters element that shift closing, settlement-state, re-registration and FS closing
// reports carry: the FS totals (1157) or the shift totals (1194).

#include <cstdint>
#include <string_view>

#include "fs/FsCorrectionCountersTlv.hpp"
#include "fs/FsOperationCounters.hpp"

namespace kkt {

struct FsCountersTlv {
    static constexpr std::uint16_t kFsTotalsTag = 1157;
    static constexpr std::uint16_t kShiftTotalsTag = 1194;
    static constexpr std::uint16_t kReceiptsTag = 1134;
    static constexpr std::uint16_t kIncomeTag = 1129;
    static constexpr std::uint16_t kIncomeReturnTag = 1130;
    static constexpr std::uint16_t kExpenseTag = 1131;
    static constexpr std::uint16_t kExpenseReturnTag = 1132;

    static constexpr std::uint8_t kKindShift = 0;
    static constexpr std::uint8_t kKindFs = 1;

    std::uint8_t kind = kKindShift;
    std::int32_t receipts = 0;
    FsOperationCounters income;
    FsOperationCounters incomeReturn;
    FsOperationCounters expense;
    FsOperationCounters expenseReturn;
    FsCorrectionCountersTlv corrections;

    // Accepts an element with tag 1157 or 1194; anything else leaves the record empty, false.
    bool fromTlv(const Tlv& element);
    // The printed caption (CP866).
    [[nodiscard]] std::string_view caption() const;
};

}  // namespace kkt
