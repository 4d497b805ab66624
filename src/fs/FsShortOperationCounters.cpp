#include "fs/FsShortOperationCounters.hpp"

namespace kkt {

void FsShortOperationCounters::reset() {
    count = 0;
    total = cash = electronic = advance = credit = other = Decimal(Decimal::kMoneyScale, 0);
}

Decimal FsShortOperationCounters::money(const TlvMap& map, std::uint16_t tag) {
    const auto it = map.find(tag);
    if (it == map.end())
        return Decimal(Decimal::kMoneyScale, 0);
    return Decimal(Decimal::kMoneyScale, static_cast<std::int64_t>(it->second.asVln()));
}

std::int32_t FsShortOperationCounters::number(const TlvMap& map, std::uint16_t tag) {
    const auto it = map.find(tag);
    return it == map.end() ? 0 : static_cast<std::int32_t>(it->second.asVln());
}

void FsShortOperationCounters::takeBase(const TlvMap& map) {
    count = number(map, kCountTag);
    total = money(map, kTotalTag);
    cash = money(map, kCashTag);
    electronic = money(map, kElectronicTag);
    advance = money(map, kAdvanceTag);
    credit = money(map, kCreditTag);
    other = money(map, kOtherTag);
}

bool FsShortOperationCounters::fromTlv(const Tlv& container) {
    reset();
    bool ok = false;
    const auto map = container.parseMap(&ok);
    takeBase(map);
    return ok;
}

}  // namespace kkt
