#include "fs/FsCorrectionCountersTlv.hpp"

#include "primitives/Cp866.hpp"

namespace kkt {

using namespace kkt::literals;

bool FsCorrectionCountersTlv::fromTlv(const Tlv& element) {
    *this = FsCorrectionCountersTlv{};
    if (element.tag() == kUnsentTag) {
        kind = kKindUnsent;
    } else if (element.tag() == kCorrectionTag) {
        kind = kKindCorrection;
    } else {
        return false;
    }
    bool ok = false;
    const auto map = element.parseMap(&ok);
    if (const auto it = map.find(kCountTag); it != map.end()) {
        count = static_cast<std::int32_t>(it->second.asVln());
    }
    auto part = [&map](std::uint16_t tag, FsShortOperationCounters& counters) {
        if (const auto it = map.find(tag); it != map.end())
            (void)counters.fromTlv(it->second);
    };
    part(kIncomeTag, income);
    part(kIncomeReturnTag, incomeReturn);
    part(kExpenseTag, expense);
    part(kExpenseReturnTag, expenseReturn);
    return ok;
}

std::string_view FsCorrectionCountersTlv::caption() const {
    switch (kind) {
        case kKindUnsent:
            return "НЕПЕРЕДАНО"_cp866;
        case kKindCorrection:
            return "ЧЕКИ (БСО) КОРРЕКЦИИ"_cp866;
        default:
            return {};
    }
}

}  // namespace kkt
