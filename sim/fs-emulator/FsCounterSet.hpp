#pragma once
// Running totals of settlements as the FS keeps them: per kind of operation (income, return of
// income, expense, return of expense), split by means of payment and VAT, with the correction
// receipts counted again on their own. One set for the open shift, one for the FS as a whole.

#include <array>
#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt::sim {

// Kinds of operation, in the order of the counters (operation type byte of the receipt - 1).
inline constexpr std::size_t kOperationKinds = 4;

struct FsOperationTotals {
    std::uint32_t count = 0;
    std::uint64_t total = 0;
    std::uint64_t cash = 0;
    std::uint64_t electronic = 0;
    std::uint64_t advance = 0;
    std::uint64_t credit = 0;
    std::uint64_t other = 0;
    // VAT 20%, VAT 10%, turnover at 0%, turnover without VAT, VAT 20/120, VAT 10/110.
    std::array<std::uint64_t, 6> vat{};

    void add(const FsOperationTotals& o);
    friend bool operator==(const FsOperationTotals&, const FsOperationTotals&) = default;
};

// What one receipt contributes: its kind (0..3), whether it is a correction, its sums.
struct FsReceiptSums {
    std::size_t kind = 0;
    bool correction = false;
    FsOperationTotals sums;  // count is ignored: a receipt counts once
};

class FsCounterSet {
  public:
    void addReceipt(const FsReceiptSums& receipt);
    void add(const FsCounterSet& other);
    void reset() { *this = FsCounterSet{}; }

    // The 354-byte answer of counters read (first value, receipts, four operation blocks of 76
    // bytes, the correction block of 44 bytes).
    [[nodiscard]] Bytes toBinary(std::uint16_t firstValue) const;
    // The counters STLV of documents: container 1157 (FS totals) or 1194 (shift totals).
    [[nodiscard]] Bytes toTlv(std::uint16_t containerTag) const;
    // The STLV 1158 of documents not yet sent (its count and the four short blocks).
    [[nodiscard]] Bytes toUnsentTlv() const;

    void save(Bytes& out) const;
    [[nodiscard]] bool load(ByteReader& in);

    std::uint32_t receipts = 0;
    std::array<FsOperationTotals, kOperationKinds> operations{};
    std::uint32_t corrections = 0;
    std::array<FsOperationTotals, kOperationKinds> correctionOperations{};

    friend bool operator==(const FsCounterSet&, const FsCounterSet&) = default;
};

}  // namespace kkt::sim
