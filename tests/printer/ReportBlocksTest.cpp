#include "printer/ReportBlocks.hpp"

#include <gtest/gtest.h>

#include <string>

#include "primitives/Cp866.hpp"

namespace kkt::layout {
namespace {

using namespace kkt::literals;
using Lines = std::vector<std::string>;

Decimal rub(std::int64_t kopecks) {
    return Decimal(100, kopecks);
}

// The test expectations are written in UTF-8; the blocks hold CP866.
Lines utf8(const PrintElement& e) {
    Lines out;
    for (const auto& l : e.lines)
        out.push_back(cp866::toUtf8(l));
    return out;
}

void expectWord(const PrintElement& e, unsigned size, std::uint8_t top, const char* what) {
    EXPECT_EQ(e.kind, PrintElement::Kind::Text) << what;
    EXPECT_EQ(e.layout.size(), size) << what;
    EXPECT_EQ(e.layout.topByte(), top) << what;
    EXPECT_EQ(e.layout.paperWidth(), 60u) << what;
}

FsOperationCounters income150() {
    FsOperationCounters c;
    c.count = 3;
    c.total = rub(15000);
    c.cash = rub(10000);
    c.electronic = rub(5000);
    c.vat20 = rub(2500);
    return c;
}

TEST(ReportBlocks, OperationBlockFullAndCompact) {
    const auto full = operationBlock(income150(), OperationKind::Income, {});
    ASSERT_EQ(full.size(), 2u);
    expectWord(full[0], 2, 0x01, "amounts");
    expectWord(full[1], 2, 0x01, "vat");
    EXPECT_EQ(
        utf8(full[0]),
        (Lines{"КОЛ. ЧЕКОВ ПРИХ.\t3", "СУММА ПРИХ.ВСЕГО\t150.00", "СУММА ПРИХ. НАЛ.\t100.00",
               "СУММА ПРИХ. БЕЗНАЛ.\t50.00", "СУММА ПРЕДВАРИТЕЛЬНЫХ ОПЛАТ (АВАНСОВ)\t0.00",
               "СУММА ПОСЛЕДУЮЩИХ ОПЛАТ (КРЕДИТОВ)\t0.00", "СУММА ИНОЙ ФОРМОЙ ОПЛАТЫ\t0.00"}));
    EXPECT_EQ(utf8(full[1]),
              (Lines{"СУММА НДС 20% ПРИХ.\t25.00", "СУММА НДС 10% ПРИХ.\t0.00",
                     "СУМ. НДС РАСЧ. 20/120 ПРИХ.\t0.00", "СУМ. НДС РАСЧ. 10/110 ПРИХ.\t0.00",
                     "ОБОРОТ С НДС 0% ПРИХ.\t0.00", "ОБОРОТ БЕЗ НДС ПРИХ.\t0.00"}));

    const auto compact =
        operationBlock(income150(), OperationKind::ExpenseReturn, {.compact = true, .bso = true});
    ASSERT_EQ(compact.size(), 2u);
    EXPECT_EQ(utf8(compact[0]),
              (Lines{"КОЛ. БСО ВОЗВР. РАСХ.\t3", "СУММА ВОЗВР. РАСХ.ВСЕГО\t150.00",
                     "СУММА ВОЗВР. РАСХ. НАЛ.\t100.00", "СУММА ВОЗВР. РАСХ. БЕЗНАЛ.\t50.00"}));
    EXPECT_EQ(utf8(compact[1]), (Lines{"СУММА НДС 20% ВОЗВР. РАСХ.\t25.00"}));
}

TEST(ReportBlocks, ZeroAndNegativeTotals) {
    FsOperationCounters zero;
    zero.count = 2;
    zero.cash = rub(100);  // not shown: the total is not positive
    const auto compactZero = operationBlock(zero, OperationKind::Expense, {.compact = true});
    ASSERT_EQ(compactZero.size(), 1u);
    EXPECT_EQ(utf8(compactZero[0]), (Lines{"КОЛ. ЧЕКОВ РАСХ.\t2"}));

    const auto fullZero = operationBlock(zero, OperationKind::Expense, {});
    ASSERT_EQ(fullZero.size(), 1u) << "no VAT element for a zero total";
    EXPECT_EQ(utf8(fullZero[0]), (Lines{"КОЛ. ЧЕКОВ РАСХ.\t2", "СУММА РАСХ.ВСЕГО\t0.00"}));

    FsOperationCounters negative;
    negative.total = rub(-500);
    negative.vat10 = rub(-50);
    const auto fullNeg = operationBlock(negative, OperationKind::IncomeReturn, {});
    ASSERT_EQ(fullNeg.size(), 2u);
    EXPECT_EQ(utf8(fullNeg[0]),
              (Lines{"КОЛ. ЧЕКОВ ВОЗВР. ПРИХ.\t0", "СУММА ВОЗВР. ПРИХ.ВСЕГО\t-5.00"}));
    EXPECT_EQ(fullNeg[1].lines.size(), 6u);
    EXPECT_EQ(cp866::toUtf8(fullNeg[1].lines[1]), "СУММА НДС 10% ВОЗВР. ПРИХ.\t-0.50");
    const auto compactNeg =
        operationBlock(negative, OperationKind::IncomeReturn, {.compact = true});
    ASSERT_EQ(compactNeg.size(), 1u) << "a VAT element without lines is left out";
    EXPECT_EQ(compactNeg[0].lines.size(), 1u);
}

TEST(ReportBlocks, SubCounterBlock) {
    FsCorrectionCountersTlv c;
    c.kind = FsCorrectionCountersTlv::kKindCorrection;
    c.count = 2;
    c.income.count = 1;
    c.income.total = rub(1000);
    c.income.cash = rub(1000);
    c.expense.total = rub(999);  // no documents: not shown
    c.expenseReturn.count = 1;
    const auto block = subCounterBlock(c, {.compact = true}, "------------------------");
    ASSERT_EQ(block.size(), 5u);
    expectWord(block[0], 2, 0x04, "title");
    EXPECT_EQ(utf8(block[0]), (Lines{"ЧЕКИ (БСО) КОРРЕКЦИИ"}));
    expectWord(block[1], 0, 0x04, "count");
    EXPECT_EQ(utf8(block[1]), (Lines{"ЧЕКОВ(БСО)\t2"}));
    EXPECT_EQ(utf8(block[2]),
              (Lines{"КОЛ. ЧЕКОВ ПРИХ.\t1", "СУММА ПРИХ.ВСЕГО\t10.00", "СУММА ПРИХ. НАЛ.\t10.00"}));
    EXPECT_EQ(utf8(block[3]), (Lines{"КОЛ. ЧЕКОВ ВОЗВР. РАСХ.\t1"}));
    expectWord(block[4], 0, 0x04, "closing");
    EXPECT_EQ(block[4].lines, (Lines{"------------------------"}));

    c.kind = FsCorrectionCountersTlv::kKindUnsent;
    const auto unsent = subCounterBlock(c, {});
    ASSERT_EQ(unsent.size(), 4u) << "no closing text";
    EXPECT_EQ(utf8(unsent[0]), (Lines{"НЕПЕРЕДАНО"}));
}

TEST(ReportBlocks, CountersBlock) {
    FsCountersTlv c;
    c.kind = FsCountersTlv::kKindFs;
    c.receipts = 5;
    c.income = income150();
    c.corrections.kind = FsCorrectionCountersTlv::kKindCorrection;
    const auto block = countersBlock(c, {.compact = true, .bso = true});
    // title, total, income (2), three other kinds, corrections title and count, rule
    ASSERT_EQ(block.size(), 10u);
    expectWord(block[0], 2, 0x04, "title");
    EXPECT_EQ(utf8(block[0]), (Lines{"Счетчики итогов ФН"}));
    expectWord(block[1], 0, 0x01, "total");
    EXPECT_EQ(utf8(block[1]), (Lines{"ВСЕГО БСО\t5"}));
    EXPECT_EQ(utf8(block[2])[0], "КОЛ. БСО ПРИХ.\t3");
    EXPECT_EQ(utf8(block[3]), (Lines{"СУММА НДС 20% ПРИХ.\t25.00"}));
    EXPECT_EQ(utf8(block[4]), (Lines{"КОЛ. БСО ВОЗВР. ПРИХ.\t0"}));
    EXPECT_EQ(utf8(block[5]), (Lines{"КОЛ. БСО РАСХ.\t0"}));
    EXPECT_EQ(utf8(block[6]), (Lines{"КОЛ. БСО ВОЗВР. РАСХ.\t0"}));
    EXPECT_EQ(utf8(block[7]), (Lines{"ЧЕКИ (БСО) КОРРЕКЦИИ"}));
    EXPECT_EQ(utf8(block[8]), (Lines{"ЧЕКОВ(БСО)\t0"}));
    expectWord(block[9], 0, 0x04, "rule");
    EXPECT_EQ(block[9].lines, (Lines{std::string(24, '-')}));

    c.kind = FsCountersTlv::kKindShift;
    const auto shift = countersBlock(c, {});
    EXPECT_EQ(utf8(shift[0]), (Lines{"Счетчики итогов смены"}));
    EXPECT_EQ(utf8(shift[1]), (Lines{"ВСЕГО ЧЕКОВ\t5"}));
    EXPECT_EQ(utf8(shift[4]),
              (Lines{"КОЛ. ЧЕКОВ ВОЗВР. ПРИХ.\t0", "СУММА ВОЗВР. ПРИХ.ВСЕГО\t0.00"}));
}

}  // namespace
}  // namespace kkt::layout
