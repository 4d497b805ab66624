#pragma once
// The answer of the core to one CoreTransaction; carries the id of the transaction it answers.

#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt {

struct CoreApiResult {
    // What a result holds until a handler fills it (also what takeResult yields for an unknown id).
    static constexpr std::uint16_t kUnset = 511;
    static constexpr std::uint16_t kSuccess = 0;

    CoreApiResult() = default;
    explicit CoreApiResult(std::uint16_t c) : code(c) {}
    CoreApiResult(std::uint16_t c, std::uint32_t i, Bytes d = {})
        : code(c), id(i), data(std::move(d)) {}

    std::uint16_t code = kUnset;
    std::uint32_t id = 0;
    Bytes data;
};

}  // namespace kkt
