#include "registration/CashStatusData.hpp"

#include <algorithm>

namespace kkt {

CashStatusData::CashStatusData(ByteView raw) {
    const bool erased =
        std::all_of(raw.begin(), raw.end(), [](std::uint8_t b) { return b == 0xFF; });
    if (!erased)
        std::copy_n(raw.begin(), std::min(raw.size(), kSize), raw_.begin());
}

void CashStatusData::addCashIn(std::uint64_t kopecks) {
    set16(kShiftInCount, static_cast<std::uint16_t>(get16(kShiftInCount) + 1));
    set16(kTotalInCount, static_cast<std::uint16_t>(get16(kTotalInCount) + 1));
    set64(kShiftInSum, get64(kShiftInSum) + kopecks);
    set64(kTotalInSum, get64(kTotalInSum) + kopecks);
    set64(kCash, get64(kCash) + kopecks);
}

void CashStatusData::addCashOut(std::uint64_t kopecks) {
    set16(kShiftOutCount, static_cast<std::uint16_t>(get16(kShiftOutCount) + 1));
    set16(kTotalOutCount, static_cast<std::uint16_t>(get16(kTotalOutCount) + 1));
    set64(kShiftOutSum, get64(kShiftOutSum) + kopecks);
    set64(kTotalOutSum, get64(kTotalOutSum) + kopecks);
    // Unsigned arithmetic: the stored two's-complement figure may go below zero without overflow.
    set64(kCash, get64(kCash) - kopecks);
}

void CashStatusData::resetShift() {
    std::fill(raw_.begin(), raw_.begin() + static_cast<long>(kTotalInCount), 0);
}

}  // namespace kkt
