#pragma once
// Totals of one kind of operation with the split by VAT rate; the FS gives them as TLVs inside
// documents and in the fixed 76-byte blocks of its counters answer (0x36).

#include <cstddef>
#include <cstdint>

#include "fs/FsShortOperationCounters.hpp"

namespace kkt {

class FsOperationCounters : public FsShortOperationCounters {
  public:
    static constexpr std::size_t kBinarySize = 76;
    static constexpr std::size_t kBinarySumSize = 6;

    static constexpr std::uint16_t kVat20Tag = 1139;
    static constexpr std::uint16_t kVat10Tag = 1140;
    static constexpr std::uint16_t kVat0TurnoverTag = 1143;
    static constexpr std::uint16_t kNoVatTurnoverTag = 1183;
    static constexpr std::uint16_t kVat20_120Tag = 1141;
    static constexpr std::uint16_t kVat10_110Tag = 1142;

    void reset() override;
    bool fromTlv(const Tlv& container) override;
    // Count (u32), then twelve 6-byte sums in field order. False for any other length.
    virtual bool fromBinary(ByteView block);

    Decimal vat20;
    Decimal vat10;
    Decimal vat0Turnover;
    Decimal noVatTurnover;
    Decimal vat20_120;
    Decimal vat10_110;
};

}  // namespace kkt
