#include "fs/FsCountersBinary.hpp"

#include <array>

namespace kkt {

bool FsCountersBinary::fromBinary(ByteView answer) {
    const auto keep = selector;
    *this = FsCountersBinary{};
    selector = keep;
    if (answer.size() != kAnswerSize)
        return false;

    ByteReader reader(answer);
    FsCountersBinary c;
    c.selector = keep;
    c.firstValue = *reader.u16();
    c.receipts = *reader.u32();
    for (FsOperationCounters* part : {&c.income, &c.incomeReturn, &c.expense, &c.expenseReturn}) {
        const auto block = reader.take(FsOperationCounters::kBinarySize);
        if (!block || !part->fromBinary(*block))
            return false;
    }
    c.correctionCount = *reader.u32();
    for (CorrectionPair* pair : {&c.correctionIncome, &c.correctionIncomeReturn,
                                 &c.correctionExpense, &c.correctionExpenseReturn}) {
        pair->count = *reader.u32();
        const auto sum = reader.take(FsOperationCounters::kBinarySumSize);
        bool ok = false;
        if (sum)
            pair->sum = Decimal::fromFs6(*sum, Decimal::kMoneyScale, &ok);
        if (!ok)
            return false;
    }
    *this = std::move(c);
    return true;
}

std::int64_t FsCountersBinary::cashBalance() const {
    // Each sum is at most 48 bits wide, so the arithmetic cannot overflow.
    return income.cash.raw() + expenseReturn.cash.raw() - expense.cash.raw() -
           incomeReturn.cash.raw();
}

}  // namespace kkt
