#include "fs/FsReq.hpp"

namespace kkt {

namespace {

enum class Size { Any, Exactly, AtLeast, Either52Or56, Refused };

struct Rule {
    Size size;
    std::size_t n = 0;
};

Rule ruleFor(std::uint8_t code) {
    switch (code) {
        case 0x04:
        case 0x06:
        case 0x10:
        case 0x12:
        case 0x14:
        case 0x19:
        case 0x20:
        case 0x22:
        case 0x24:
        case 0x25:
        case 0x30:
        case 0x31:
        case 0x32:
        case 0x33:
        case 0x35:
        case 0x3A:
        case 0x3D:
        case 0x3F:
        case 0x42:
        case 0x43:
        case 0x44:
        case 0x46:
        case 0xB0:
        case 0xB3:
        case 0xBA:
        case 0xBB:
        case 0xBD:
        case 0xBE:
            return {Size::Any};
        case 0x21:
        case 0x36:
        case 0x60:
        case 0xB2:
        case 0xD3:
        case 0xD4:
        case 0xD7:
            return {Size::Exactly, 1};
        case 0xA2:
            return {Size::Exactly, 2};
        case 0x23:
        case 0x40:
        case 0x41:
        case 0x45:
        case 0xBC:
        case 0xD5:
            return {Size::Exactly, 4};
        case 0x11:
        case 0x13:
        case 0x15:
        case 0x17:
        case 0x18:
        case 0x3B:
        case 0xD0:
            return {Size::Exactly, 5};
        case 0x16:
            return {Size::Exactly, 11};
        case 0x05:
            return {Size::Exactly, 25};
        case 0xA3:
            return {Size::Either52Or56};
        case 0x07:
        case 0x26:
        case 0xB1:
        case 0xB5:
        case 0xB6:
        case 0xB7:
        case 0xBF:
        case 0xD1:
        case 0xD6:
            return {Size::AtLeast, 1};
        default:
            return {Size::Refused};
    }
}

}  // namespace

bool FsReq::isValid() const {
    const auto rule = ruleFor(code_);
    const auto n = data_.size();
    switch (rule.size) {
        case Size::Any:
            return true;
        case Size::Exactly:
            return n == rule.n;
        case Size::AtLeast:
            return n >= rule.n;
        case Size::Either52Or56:
            return n == 52 || n == 56;
        case Size::Refused:
            return false;
    }
    return false;
}

}  // namespace kkt
