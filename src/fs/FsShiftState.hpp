#pragma once
// The shift state of the FS (answer to 0x10).

#include <cstdint>

#include "fs/FsRep.hpp"

namespace kkt {

struct FsShiftState {
    static constexpr std::size_t kMinAnswerSize = 5;

    bool open = false;
    std::int32_t shiftNumber = -1;
    // Number of the last receipt in the shift.
    std::int32_t lastReceipt = -1;

    [[nodiscard]] static FsFrameStatus fromReply(const FsRep& reply, FsShiftState& out);
};

}  // namespace kkt
