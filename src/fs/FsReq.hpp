#pragma once
// A request to the FS. Only the commands the core uses pass isValid(), each with the data lengths
// the FS accepts for it, so a malformed request never reaches the FS.

#include <cstdint>

#include "fs/FsMsg.hpp"

namespace kkt {

class FsReq : public FsMsg {
  public:
    // Code 0x7F: a request that never passes isValid().
    FsReq() = default;
    explicit FsReq(std::uint8_t code) : FsMsg(code, {}) {}
    FsReq(std::uint8_t code, Bytes data) : FsMsg(code, std::move(data)) {}

    static constexpr std::uint8_t kBeginRegistration = 0xA2;
    // Begin a registration or re-registration report (0xA2): the two bytes in the caller's order.
    static FsReq beginRegistration(std::uint8_t first, std::uint8_t second) {
        return FsReq(kBeginRegistration, Bytes{first, second});
    }

    [[nodiscard]] bool isValid() const override;
};

}  // namespace kkt
