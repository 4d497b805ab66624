#pragma once
// One host command on its way from the host link to the core worker.

#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt {

struct CoreTransaction {
    std::uint16_t code = 0;
    std::uint32_t id = 0;
    Bytes data;
};

}  // namespace kkt
