#include "fs/FsReq.hpp"

#include <array>
#include <initializer_list>

namespace kkt {

namespace {

enum class Size : std::uint8_t { Refused, Any, Exactly, AtLeast, Either52Or56 };

struct Rule {
    Size size = Size::Refused;
    std::uint8_t n = 0;
};

// The data lengths the FS accepts, by command; every code not listed is refused.
constexpr std::array<Rule, 256> makeRules() {
    std::array<Rule, 256> rules{};
    auto set = [&rules](std::initializer_list<std::uint8_t> codes, Rule rule) {
        for (const auto code : codes)
            rules[code] = rule;
    };
    set({0x04, 0x06, 0x10, 0x12, 0x14, 0x19, 0x20, 0x22, 0x24, 0x25, 0x30, 0x31, 0x32, 0x33,
         0x35, 0x3A, 0x3D, 0x3F, 0x42, 0x43, 0x44, 0x46, 0xB0, 0xB3, 0xBA, 0xBB, 0xBD, 0xBE},
        {Size::Any});
    set({0x21, 0x36, 0x60, 0xB2, 0xD3, 0xD4, 0xD7}, {Size::Exactly, 1});
    set({0xA2}, {Size::Exactly, 2});
    set({0x23, 0x40, 0x41, 0x45, 0xBC, 0xD5}, {Size::Exactly, 4});
    set({0x11, 0x13, 0x15, 0x17, 0x18, 0x3B, 0xD0}, {Size::Exactly, 5});
    set({0x16}, {Size::Exactly, 11});
    set({0x05}, {Size::Exactly, 25});
    set({0xA3}, {Size::Either52Or56});
    set({0x07, 0x26, 0xB1, 0xB5, 0xB6, 0xB7, 0xBF, 0xD1, 0xD6}, {Size::AtLeast, 1});
    return rules;
}

constexpr auto kRules = makeRules();

}  // namespace

bool FsReq::isValid() const {
    const auto rule = kRules[code_];
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
