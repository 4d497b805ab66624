#pragma once
// The FS counters as the FS gives them in answer to 0x36: a fixed 354-byte layout.

#include <cstddef>
#include <cstdint>

#include "fs/FsOperationCounters.hpp"

namespace kkt {

struct FsCountersBinary {
    static constexpr std::size_t kAnswerSize = 354;
    static constexpr std::size_t kCorrectionsSize = 44;

    // Selector of the request: the current shift or the whole FS.
    static constexpr std::uint8_t kShift = 0;
    static constexpr std::uint8_t kWholeFs = 1;

    // One kind of correction: count (u32) and total (6-byte sum).
    struct CorrectionPair {
        std::uint32_t count = 0;
        Decimal sum;
    };

    std::uint8_t selector = kShift;
    std::uint16_t firstValue = 0;
    std::uint32_t receipts = 0;
    FsOperationCounters income;
    FsOperationCounters incomeReturn;
    FsOperationCounters expense;
    FsOperationCounters expenseReturn;
    std::uint32_t correctionCount = 0;
    CorrectionPair correctionIncome;
    CorrectionPair correctionIncomeReturn;
    CorrectionPair correctionExpense;
    CorrectionPair correctionExpenseReturn;

    // Fills everything but the selector from a 354-byte answer; false (record reset apart from
    // the selector) for any other size.
    bool fromBinary(ByteView answer);
    // Cash in the drawer by these counters, in kopecks: income and return of expense in, expense
    // and return of income out.
    [[nodiscard]] std::int64_t cashBalance() const;
};

}  // namespace kkt
