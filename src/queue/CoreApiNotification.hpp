#pragma once
// An intermediate message about a pending transaction, delivered to the callback registered for
// its id. Nothing produces one yet; the queue carries the channel for it.

#include <cstdint>

namespace kkt {

struct CoreApiNotification {
    std::uint32_t id = 0;
};

}  // namespace kkt
