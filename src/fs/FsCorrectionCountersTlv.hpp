#pragma once
// Totals of the documents not yet sent to the operator (1158) or of correction receipts (1133),
// as they stand inside the counters element of a document.

#include <cstdint>
#include <string_view>

#include "fs/FsShortOperationCounters.hpp"

namespace kkt {

struct FsCorrectionCountersTlv {
    static constexpr std::uint16_t kUnsentTag = 1158;
    static constexpr std::uint16_t kCorrectionTag = 1133;
    static constexpr std::uint16_t kCountTag = 1144;
    static constexpr std::uint16_t kIncomeTag = 1145;
    static constexpr std::uint16_t kIncomeReturnTag = 1232;
    static constexpr std::uint16_t kExpenseTag = 1146;
    static constexpr std::uint16_t kExpenseReturnTag = 1233;

    static constexpr std::uint8_t kKindNone = 0;
    static constexpr std::uint8_t kKindUnsent = 1;
    static constexpr std::uint8_t kKindCorrection = 2;

    std::uint8_t kind = kKindNone;
    std::int32_t count = 0;
    FsShortOperationCounters income;
    FsShortOperationCounters incomeReturn;
    FsShortOperationCounters expense;
    FsShortOperationCounters expenseReturn;

    // Accepts an element with tag 1158 or 1133; anything else leaves the record empty, false.
    bool fromTlv(const Tlv& element);
    // The printed caption (CP866): empty for kind 0.
    [[nodiscard]] std::string_view caption() const;
};

}  // namespace kkt
