#pragma once
// The memory resource of the FS (answer to 0x3D).

#include <cstdint>
#include <optional>

#include "fs/FsRep.hpp"

namespace kkt {

struct FsMemoryResource {
    static constexpr std::size_t kMinAnswerSize = 8;
    static constexpr std::size_t kLongAnswerSize = 9;

    std::uint32_t first = 0;
    std::uint32_t second = 0;
    // Only in an answer of exactly 9 bytes.
    std::optional<std::uint8_t> third;

    [[nodiscard]] static FsFrameStatus fromReply(const FsRep& reply, FsMemoryResource& out);
};

}  // namespace kkt
