#include "fs/FsOperationCounters.hpp"

#include <array>

namespace kkt {

void FsOperationCounters::reset() {
    FsShortOperationCounters::reset();
    vat20 = vat10 = vat0Turnover = noVatTurnover = vat20_120 = vat10_110 =
        Decimal(Decimal::kMoneyScale, 0);
}

bool FsOperationCounters::fromTlv(const Tlv& container) {
    reset();
    bool ok = false;
    const auto map = container.parseMap(&ok);
    takeBase(map);
    vat20 = money(map, kVat20Tag);
    vat10 = money(map, kVat10Tag);
    vat0Turnover = money(map, kVat0TurnoverTag);
    noVatTurnover = money(map, kNoVatTurnoverTag);
    vat20_120 = money(map, kVat20_120Tag);
    vat10_110 = money(map, kVat10_110Tag);
    return ok;
}

bool FsOperationCounters::fromBinary(ByteView block) {
    reset();
    if (block.size() != kBinarySize)
        return false;
    ByteReader reader(block);
    count = static_cast<std::int32_t>(*reader.u32());
    const std::array<Decimal*, 12> sums{&total,        &cash,          &electronic, &advance,
                                        &credit,       &other,         &vat20,      &vat10,
                                        &vat0Turnover, &noVatTurnover, &vat20_120,  &vat10_110};
    for (Decimal* sum : sums) {
        const auto bytes = reader.take(kBinarySumSize);
        bool ok = false;
        if (bytes)
            *sum = Decimal::fromFs6(*bytes, Decimal::kMoneyScale, &ok);
        if (!ok)
            return false;
    }
    return true;
}

}  // namespace kkt
