#pragma once
// The state of the exchange with the fiscal data operator (answer to 0x20).

#include <cstdint>
#include <ctime>

#include "fs/FsRep.hpp"

namespace kkt {

struct FsExchangeStatus {
    static constexpr std::size_t kMinAnswerSize = 13;

    std::uint8_t status = 0;
    bool messageBeingRead = false;
    std::uint16_t messagesWaiting = 0;
    // The first document the operator has not acknowledged yet, and its time.
    std::uint32_t firstUnsentNumber = 0;
    std::time_t firstUnsentTime = 0;

    // An answer longer than 13 bytes leaves the time 0.
    [[nodiscard]] static FsFrameStatus fromReply(const FsRep& reply, FsExchangeStatus& out);
};

}  // namespace kkt
