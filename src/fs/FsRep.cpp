#include "fs/FsRep.hpp"

#include <array>

#include "fs/FsResult.hpp"

namespace kkt {

namespace {

constexpr std::uint8_t kCodeMask = 0x7F;
constexpr std::uint8_t kLastMappedError = 0x3D;

constexpr std::array<bool, 128> makeKnownCodes() {
    std::array<bool, 128> known{};
    auto range = [&known](unsigned from, unsigned to) {
        for (unsigned c = from; c <= to; ++c)
            known[c] = true;
    };
    range(0x00, 0x0E);
    range(0x10, 0x12);
    range(0x14, 0x19);
    range(0x20, 0x20);
    range(0x23, 0x24);
    range(0x30, 0x30);
    range(0x32, 0x36);
    range(0x3C, 0x3C);
    range(0x3E, 0x3E);
    return known;
}

constexpr auto kKnownCodes = makeKnownCodes();

}  // namespace

bool FsRep::isKnownCode(std::uint8_t errorCode) {
    return errorCode < kKnownCodes.size() && kKnownCodes[errorCode];
}

bool FsRep::isValid() const {
    return ok() && isKnownCode(code_ & kCodeMask);
}

FsFrameStatus FsRep::fromFrame(ByteView frame) {
    status_ = FsMsg::fromFrame(frame);
    return status_;
}

std::uint8_t FsRep::errorCode() const {
    const auto e = static_cast<std::uint8_t>(code_ & kCodeMask);
    return isKnownCode(e) ? e : kNoCode;
}

std::uint16_t FsRep::resultCode() const {
    const auto e = errorCode();
    if (e == 0)
        return fsresult::kOk;
    if (e <= kLastMappedError)
        return static_cast<std::uint16_t>(fsresult::kFsErrorBase + e);
    return fsresult::kUnknown;
}

}  // namespace kkt
