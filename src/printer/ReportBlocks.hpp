#pragma once
// The printed blocks of the FS counters on shift closing, settlement and FS closing reports and
// on re-registration reports: per operation kind the count, the sums by means of payment and the
// VAT sums, the correction and unsent-document totals, and the whole counters element.

#include <string_view>
#include <vector>

#include "fs/FsCorrectionCountersTlv.hpp"
#include "fs/FsCountersTlv.hpp"
#include "fs/FsOperationCounters.hpp"
#include "fs/FsShortOperationCounters.hpp"
#include "printer/PrintElement.hpp"

namespace kkt::layout {

enum class OperationKind { Income, IncomeReturn, Expense, ExpenseReturn };

// The caption of an operation kind (CP866): "ПРИХ.", "ВОЗВР. ПРИХ.", "РАСХ.", "ВОЗВР. РАСХ.".
std::string_view operationTitle(OperationKind kind);

struct ReportMode {
    // Amount lines only for amounts greater than zero.
    bool compact = false;
    // The register issues strict-reporting forms: counts are of forms, not receipts.
    bool bso = false;
};

// Count and sums by means of payment of one operation kind: one text element.
std::vector<PrintElement> operationAmountsBlock(const FsShortOperationCounters& counters,
                                                OperationKind kind, ReportMode mode);
// The amounts block, then (for a non-zero total) an element of VAT sums when it has lines.
std::vector<PrintElement> operationBlock(const FsOperationCounters& counters, OperationKind kind,
                                         ReportMode mode);
// Title, document count, the amounts of each kind with documents, then the closing text when
// one is given.
std::vector<PrintElement> subCounterBlock(const FsCorrectionCountersTlv& counters, ReportMode mode,
                                          std::string_view closingText = {});
// Title, total count, the four operation blocks, the corrections and a closing rule.
std::vector<PrintElement> countersBlock(const FsCountersTlv& counters, ReportMode mode);

}  // namespace kkt::layout
