#include <gtest/gtest.h>

#include "fs/FsCorrectionCountersTlv.hpp"
#include "fs/FsCountersBinary.hpp"
#include "fs/FsCountersTlv.hpp"
#include "primitives/Cp866.hpp"

using namespace kkt;
using namespace kkt::literals;

namespace {

Tlv vln(std::uint16_t tag, std::uint64_t v) {
    Tlv t;
    t.setVln(tag, v);
    return t;
}

Tlv stlv(std::uint16_t tag, const TlvList& children) {
    Tlv t;
    t.setStlv(tag, children);
    return t;
}

Decimal money(std::int64_t kopecks) {
    return Decimal(Decimal::kMoneyScale, kopecks);
}

void appendSum(Bytes& out, std::uint64_t kopecks) {
    for (int i = 0; i < 6; ++i)
        out.push_back(static_cast<std::uint8_t>(kopecks >> (8 * i)));
}

// A 76-byte block: count, then the twelve sums base + 1, base + 2, ...
Bytes block(std::uint32_t count, std::uint64_t base) {
    Bytes b;
    le::append32(b, count);
    for (std::uint64_t i = 1; i <= 12; ++i)
        appendSum(b, base + i);
    return b;
}

}  // namespace

TEST(FsCounters, OperationCountersFromTlvTakeWhatIsThere) {
    const auto income = stlv(1129, {vln(1135, 4), vln(1201, 123456), vln(1136, 10000),
                                    vln(1138, 113456), vln(1139, 2000), vln(1183, 500)});
    FsOperationCounters c;
    c.vat10 = money(99);  // stale values go
    EXPECT_TRUE(c.fromTlv(income));
    EXPECT_EQ(c.count, 4);
    EXPECT_EQ(c.total, money(123456));
    EXPECT_EQ(c.total.text(), "1234.56");
    EXPECT_EQ(c.cash, money(10000));
    EXPECT_EQ(c.electronic, money(113456));
    EXPECT_EQ(c.advance, money(0));
    EXPECT_EQ(c.vat20, money(2000));
    EXPECT_EQ(c.noVatTurnover, money(500));
    EXPECT_EQ(c.vat10, money(0));

    // Without VAT tags every VAT sum is 0.
    EXPECT_TRUE(c.fromTlv(stlv(1131, {vln(1135, 1), vln(1136, 3000)})));
    for (const Decimal* vat :
         {&c.vat20, &c.vat10, &c.vat0Turnover, &c.noVatTurnover, &c.vat20_120, &c.vat10_110}) {
        EXPECT_EQ(vat->raw(), 0);
        EXPECT_EQ(vat->scale(), Decimal::kMoneyScale);
    }
    EXPECT_EQ(c.cash, money(3000));

    FsShortOperationCounters s;
    EXPECT_TRUE(s.fromTlv(stlv(1145, {vln(1135, 2), vln(1219, 700), vln(1220, 800)})));
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s.credit, money(700));
    EXPECT_EQ(s.other, money(800));
    // A cut-short container still yields what it holds, but says so.
    Tlv broken(1145, {0x6F, 0x04, 0x01, 0x00, 0x05, 0x6F, 0x04});
    EXPECT_FALSE(s.fromTlv(broken));
    EXPECT_EQ(s.count, 5);
}

TEST(FsCounters, CountersElementNeedsItsOwnTag) {
    const auto corrections = stlv(1133, {vln(1144, 3), stlv(1145, {vln(1136, 100)}),
                                         stlv(1233, {vln(1135, 1), vln(1138, 200)})});
    const auto shift = stlv(1194, {vln(1134, 12), stlv(1129, {vln(1136, 10000)}),
                                   stlv(1131, {vln(1136, 3000)}), corrections});
    FsCountersTlv counters;
    ASSERT_TRUE(counters.fromTlv(shift));
    EXPECT_EQ(counters.kind, FsCountersTlv::kKindShift);
    EXPECT_EQ(counters.caption(), "Счетчики итогов смены"_cp866);
    EXPECT_EQ(counters.receipts, 12);
    EXPECT_EQ(counters.income.cash, money(10000));
    EXPECT_EQ(counters.expense.cash, money(3000));
    EXPECT_EQ(counters.corrections.kind, FsCorrectionCountersTlv::kKindCorrection);
    EXPECT_EQ(counters.corrections.caption(), "ЧЕКИ (БСО) КОРРЕКЦИИ"_cp866);
    EXPECT_EQ(counters.corrections.count, 3);
    EXPECT_EQ(counters.corrections.income.cash, money(100));
    EXPECT_EQ(counters.corrections.expenseReturn.count, 1);
    EXPECT_EQ(counters.corrections.expenseReturn.electronic, money(200));

    FsCountersTlv fsTotals;
    ASSERT_TRUE(fsTotals.fromTlv(stlv(1157, {vln(1134, 40)})));
    EXPECT_EQ(fsTotals.kind, FsCountersTlv::kKindFs);
    EXPECT_EQ(fsTotals.caption(), "Счетчики итогов ФН"_cp866);
    EXPECT_EQ(fsTotals.corrections.kind, FsCorrectionCountersTlv::kKindNone);
    EXPECT_TRUE(fsTotals.corrections.caption().empty());

    // The totals of unsent documents are no counters element of their own...
    const auto unsent = stlv(1158, {vln(1144, 2), stlv(1146, {vln(1136, 50)})});
    FsCountersTlv refused;
    refused.receipts = 5;
    EXPECT_FALSE(refused.fromTlv(unsent));
    EXPECT_EQ(refused.receipts, 0);
    // ...but the correction reader takes them.
    FsCorrectionCountersTlv part;
    ASSERT_TRUE(part.fromTlv(unsent));
    EXPECT_EQ(part.kind, FsCorrectionCountersTlv::kKindUnsent);
    EXPECT_EQ(part.caption(), "НЕПЕРЕДАНО"_cp866);
    EXPECT_EQ(part.count, 2);
    EXPECT_EQ(part.expense.cash, money(50));
    EXPECT_FALSE(part.fromTlv(shift));
    EXPECT_EQ(part.kind, FsCorrectionCountersTlv::kKindNone);
}

TEST(FsCounters, BinaryBlockHasCountAndTwelveSums) {
    FsOperationCounters c;
    ASSERT_TRUE(c.fromBinary(block(9, 1000)));
    EXPECT_EQ(c.count, 9);
    const Decimal* fields[] = {&c.total,        &c.cash,          &c.electronic, &c.advance,
                               &c.credit,       &c.other,         &c.vat20,      &c.vat10,
                               &c.vat0Turnover, &c.noVatTurnover, &c.vat20_120,  &c.vat10_110};
    for (std::size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fields[i]->raw(), static_cast<std::int64_t>(1001 + i));
        EXPECT_EQ(fields[i]->scale(), Decimal::kMoneyScale);
    }
    // The full 48 bits of a sum are kept.
    Bytes big = block(1, 0);
    for (int i = 0; i < 6; ++i)
        big[4 + i] = 0xFF;
    ASSERT_TRUE(c.fromBinary(big));
    EXPECT_EQ(c.total.raw(), 0xFFFFFFFFFFFFll);

    auto shortBlock = block(9, 1000);
    shortBlock.pop_back();
    EXPECT_FALSE(c.fromBinary(shortBlock));
    EXPECT_EQ(c.count, 0);
    EXPECT_EQ(c.total.raw(), 0);
}

TEST(FsCounters, BinaryAnswerAndCashBalance) {
    Bytes answer;
    le::append16(answer, 0x0102);
    le::append32(answer, 33);
    for (std::uint32_t part = 0; part < 4; ++part) {
        const auto b = block(part + 1, (part + 1) * 100000);
        answer.insert(answer.end(), b.begin(), b.end());
    }
    le::append32(answer, 4);
    for (std::uint32_t i = 0; i < 4; ++i) {
        le::append32(answer, i + 10);
        appendSum(answer, (i + 1) * 11);
    }
    ASSERT_EQ(answer.size(), FsCountersBinary::kAnswerSize);

    FsCountersBinary c;
    c.selector = FsCountersBinary::kWholeFs;
    ASSERT_TRUE(c.fromBinary(answer));
    EXPECT_EQ(c.selector, FsCountersBinary::kWholeFs);
    EXPECT_EQ(c.firstValue, 0x0102);
    EXPECT_EQ(c.receipts, 33u);
    EXPECT_EQ(c.income.count, 1);
    EXPECT_EQ(c.incomeReturn.count, 2);
    EXPECT_EQ(c.expense.count, 3);
    EXPECT_EQ(c.expenseReturn.count, 4);
    EXPECT_EQ(c.expenseReturn.cash.raw(), 400002);
    EXPECT_EQ(c.correctionCount, 4u);
    EXPECT_EQ(c.correctionIncome.count, 10u);
    EXPECT_EQ(c.correctionIncome.sum, money(11));
    EXPECT_EQ(c.correctionExpenseReturn.count, 13u);
    EXPECT_EQ(c.correctionExpenseReturn.sum, money(44));
    // Cash: income 100002 + return of expense 400002 - expense 300002 - return of income 200002.
    EXPECT_EQ(c.cashBalance(), 0);

    FsCountersBinary simple;
    simple.income.cash = money(10000);
    simple.expense.cash = money(3000);
    EXPECT_EQ(simple.cashBalance(), 7000);
    simple.incomeReturn.cash = money(8000);
    EXPECT_EQ(simple.cashBalance(), -1000);

    answer.pop_back();
    EXPECT_FALSE(c.fromBinary(answer));
    EXPECT_EQ(c.selector, FsCountersBinary::kWholeFs);
    EXPECT_EQ(c.receipts, 0u);
    EXPECT_EQ(c.income.count, 0);
}
