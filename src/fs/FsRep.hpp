#pragma once
// An answer of the FS: the parsed frame plus the outcome of parsing it, and the mapping of its
// answer code to the core's result codes.

#include <cstdint>

#include "fs/FsMsg.hpp"

namespace kkt {

class FsRep : public FsMsg {
  public:
    FsRep() = default;

    // Status Ok and an answer code from the known set.
    [[nodiscard]] bool isValid() const override;
    FsFrameStatus fromFrame(ByteView frame) override;

    FsFrameStatus status() const { return status_; }
    bool ok() const { return status_ == FsFrameStatus::Ok; }

    // The FS error code (answer code without its top bit) when it is a known one, else 0x7F.
    [[nodiscard]] std::uint8_t errorCode() const;
    // 0, 0x0500 + error code for 0x01-0x3D, 0x05FF for anything else.
    [[nodiscard]] std::uint16_t resultCode() const;

    static bool isKnownCode(std::uint8_t errorCode);

  private:
    FsFrameStatus status_ = FsFrameStatus::Nothing;
};

}  // namespace kkt
