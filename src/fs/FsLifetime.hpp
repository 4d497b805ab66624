#pragma once
// The FS lifetime (answer to 0x32) with the lifetime counter of 0x3B.

#include <cstdint>
#include <ctime>

#include "fs/FsRep.hpp"

namespace kkt {

struct FsLifetime {
    static constexpr std::size_t kAnswerSize = 5;

    std::time_t validUntil = 0;
    std::int32_t registrationsLeft = 0;
    // Also the number of the last registration report.
    std::int32_t registrationsDone = 0;
    // From 0x3B for the current time; -1 until read.
    std::int32_t lifetimeCounter = -1;

    [[nodiscard]] bool isValid() const { return validUntil > 0 && registrationsLeft > 0; }

    [[nodiscard]] static FsFrameStatus fromReply(const FsRep& reply, FsLifetime& out);
};

}  // namespace kkt
