#include "fs/FsCountersTlv.hpp"

#include "primitives/Cp866.hpp"

namespace kkt {

using namespace kkt::literals;

bool FsCountersTlv::fromTlv(const Tlv& element) {
    *this = FsCountersTlv{};
    if (element.tag() == kFsTotalsTag) {
        kind = kKindFs;
    } else if (element.tag() != kShiftTotalsTag) {
        return false;
    }
    bool ok = false;
    const auto map = element.parseMap(&ok);
    if (const auto it = map.find(kReceiptsTag); it != map.end()) {
        receipts = static_cast<std::int32_t>(it->second.asVln());
    }
    auto part = [&map](std::uint16_t tag, FsOperationCounters& counters) {
        if (const auto it = map.find(tag); it != map.end())
            (void)counters.fromTlv(it->second);
    };
    part(kIncomeTag, income);
    part(kIncomeReturnTag, incomeReturn);
    part(kExpenseTag, expense);
    part(kExpenseReturnTag, expenseReturn);
    if (const auto it = map.find(FsCorrectionCountersTlv::kCorrectionTag); it != map.end()) {
        (void)corrections.fromTlv(it->second);
    }
    return ok;
}

std::string_view FsCountersTlv::caption() const {
    return kind == kKindShift ? "Счетчики итогов смены"_cp866 : "Счетчики итогов ФН"_cp866;
}

}  // namespace kkt
