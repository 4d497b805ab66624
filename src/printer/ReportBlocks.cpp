#include "printer/ReportBlocks.hpp"

#include <string>
#include <utility>

#include "primitives/Cp866.hpp"

namespace kkt::layout {

namespace {

using namespace kkt::literals;

constexpr unsigned kBlockSize = 2;
constexpr std::string_view kRule = "------------------------";

LayoutWord wordFor(unsigned size, std::uint8_t top) {
    LayoutWord w;
    w.setSize(size);
    w.setTopByte(top);
    return w;
}

PrintElement emptyText(LayoutWord w) {
    PrintElement e;
    e.layout = w;
    return e;
}

std::string join(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (auto p : parts)
        s.append(p);
    return s;
}

bool positive(const Decimal& d) {
    return d.raw() > 0;
}

void append(std::vector<PrintElement>& out, std::vector<PrintElement> more) {
    for (auto& e : more)
        out.push_back(std::move(e));
}

}  // namespace

std::string_view operationTitle(OperationKind kind) {
    switch (kind) {
        case OperationKind::Income:
            return "ПРИХ."_cp866;
        case OperationKind::IncomeReturn:
            return "ВОЗВР. ПРИХ."_cp866;
        case OperationKind::Expense:
            return "РАСХ."_cp866;
        case OperationKind::ExpenseReturn:
            return "ВОЗВР. РАСХ."_cp866;
    }
    return {};
}

std::vector<PrintElement> operationAmountsBlock(const FsShortOperationCounters& c,
                                                OperationKind kind, ReportMode mode) {
    const std::string_view t = operationTitle(kind);
    PrintElement e = emptyText(wordFor(kBlockSize, LayoutWord::kTopPlainLeft));
    e.lines.push_back(join(
        {mode.bso ? "КОЛ. БСО"_cp866 : "КОЛ. ЧЕКОВ"_cp866, " ", t, "\t", std::to_string(c.count)}));
    const bool totalPositive = positive(c.total);
    if (!mode.compact || totalPositive) {
        // No blank between the title and "ВСЕГО": that is how the line is printed.
        e.lines.push_back(join({"СУММА"_cp866, " ", t, "ВСЕГО"_cp866, "\t", c.total.text()}));
    }
    if (totalPositive) {
        const std::pair<std::string, const Decimal*> lines[] = {
            {join({"СУММА"_cp866, " ", t, " ", "НАЛ."_cp866}), &c.cash},
            {join({"СУММА"_cp866, " ", t, " ", "БЕЗНАЛ."_cp866}), &c.electronic},
            {std::string("СУММА ПРЕДВАРИТЕЛЬНЫХ ОПЛАТ (АВАНСОВ)"_cp866), &c.advance},
            {std::string("СУММА ПОСЛЕДУЮЩИХ ОПЛАТ (КРЕДИТОВ)"_cp866), &c.credit},
            {std::string("СУММА ИНОЙ ФОРМОЙ ОПЛАТЫ"_cp866), &c.other},
        };
        for (const auto& [caption, amount] : lines) {
            if (mode.compact && !positive(*amount))
                continue;
            e.lines.push_back(join({caption, "\t", amount->text()}));
        }
    }
    std::vector<PrintElement> out;
    out.push_back(std::move(e));
    return out;
}

std::vector<PrintElement> operationBlock(const FsOperationCounters& c, OperationKind kind,
                                         ReportMode mode) {
    std::vector<PrintElement> out = operationAmountsBlock(c, kind, mode);
    if (c.total.raw() == 0)
        return out;
    const std::string_view t = operationTitle(kind);
    const std::pair<std::string_view, const Decimal*> lines[] = {
        {"СУММА НДС 20%"_cp866, &c.vat20},
        {"СУММА НДС 10%"_cp866, &c.vat10},
        {"СУМ. НДС РАСЧ. 20/120"_cp866, &c.vat20_120},
        {"СУМ. НДС РАСЧ. 10/110"_cp866, &c.vat10_110},
        {"ОБОРОТ С НДС 0%"_cp866, &c.vat0Turnover},
        {"ОБОРОТ БЕЗ НДС"_cp866, &c.noVatTurnover},
    };
    PrintElement vat = emptyText(wordFor(kBlockSize, LayoutWord::kTopPlainLeft));
    for (const auto& [caption, amount] : lines) {
        if (mode.compact && !positive(*amount))
            continue;
        vat.lines.push_back(join({caption, " ", t, "\t", amount->text()}));
    }
    if (!vat.lines.empty())
        out.push_back(std::move(vat));
    return out;
}

std::vector<PrintElement> subCounterBlock(const FsCorrectionCountersTlv& c, ReportMode mode,
                                          std::string_view closingText) {
    std::vector<PrintElement> out;
    out.push_back(PrintElement::text(c.caption(), wordFor(kBlockSize, LayoutWord::kTopCentred)));
    out.push_back(PrintElement::text(join({"ЧЕКОВ(БСО)"_cp866, "\t", std::to_string(c.count)}),
                                     wordFor(0, LayoutWord::kTopCentred)));
    const std::pair<const FsShortOperationCounters*, OperationKind> kinds[] = {
        {&c.income, OperationKind::Income},
        {&c.incomeReturn, OperationKind::IncomeReturn},
        {&c.expense, OperationKind::Expense},
        {&c.expenseReturn, OperationKind::ExpenseReturn},
    };
    for (const auto& [counters, kind] : kinds) {
        if (counters->count != 0)
            append(out, operationAmountsBlock(*counters, kind, mode));
    }
    if (!closingText.empty()) {
        out.push_back(PrintElement::text(closingText, wordFor(0, LayoutWord::kTopCentred)));
    }
    return out;
}

std::vector<PrintElement> countersBlock(const FsCountersTlv& c, ReportMode mode) {
    std::vector<PrintElement> out;
    out.push_back(PrintElement::text(c.caption(), wordFor(kBlockSize, LayoutWord::kTopCentred)));
    out.push_back(PrintElement::text(join({mode.bso ? "ВСЕГО БСО"_cp866 : "ВСЕГО ЧЕКОВ"_cp866, "\t",
                                           std::to_string(c.receipts)}),
                                     wordFor(0, LayoutWord::kTopPlainLeft)));
    append(out, operationBlock(c.income, OperationKind::Income, mode));
    append(out, operationBlock(c.incomeReturn, OperationKind::IncomeReturn, mode));
    append(out, operationBlock(c.expense, OperationKind::Expense, mode));
    append(out, operationBlock(c.expenseReturn, OperationKind::ExpenseReturn, mode));
    append(out, subCounterBlock(c.corrections, mode));
    out.push_back(PrintElement::text(kRule, wordFor(0, LayoutWord::kTopCentred)));
    return out;
}

}  // namespace kkt::layout
