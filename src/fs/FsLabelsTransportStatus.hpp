#pragma once
// The state of the transport of marking notifications (answer to 0xBA).

#include <cstdint>
#include <ctime>

#include "fs/FsRep.hpp"

namespace kkt {

struct FsLabelsTransportStatus {
    static constexpr std::size_t kAnswerSize = 13;

    std::uint8_t status = 0;
    std::uint16_t count = 0;
    std::uint32_t documentNumber = 0;
    std::time_t time = 0;
    std::uint8_t lastByte = 0;

    [[nodiscard]] static FsFrameStatus fromReply(const FsRep& reply, FsLabelsTransportStatus& out);
};

}  // namespace kkt
