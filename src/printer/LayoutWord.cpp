#include "printer/LayoutWord.hpp"

#include <atomic>

namespace kkt {

namespace {

std::atomic<std::uint8_t> gPaperWidth{LayoutWord::kNarrowPaperMax};

constexpr std::uint32_t kPaperWidthMask = 0x1FFFu;
constexpr std::uint32_t kSizeMask = 0x3u << 13;
constexpr std::uint32_t kSpacingMask = 0x1Fu << 15;
constexpr std::uint32_t kTopMask = 0xFFu << 24;

}  // namespace

LayoutWord::LayoutWord() : raw_(currentPaperWidth()) {}

std::uint8_t LayoutWord::currentPaperWidth() {
    return gPaperWidth.load();
}

void LayoutWord::setCurrentPaperWidth(std::uint8_t width) {
    gPaperWidth.store(width);
}

void LayoutWord::setPaperWidth(unsigned width) {
    raw_ = (raw_ & ~kPaperWidthMask) | (width & kPaperWidthMask);
}

void LayoutWord::setSize(unsigned size) {
    raw_ = (raw_ & ~kSizeMask) | ((size & 0x3u) << 13);
}

void LayoutWord::setLineSpacing(unsigned spacing) {
    raw_ = (raw_ & ~kSpacingMask) | ((spacing & 0x1Fu) << 15);
}

void LayoutWord::setTopByte(std::uint8_t top) {
    raw_ = (raw_ & ~kTopMask) | (static_cast<std::uint32_t>(top) << 24);
}

void LayoutWord::setFlag(std::uint32_t flag, bool on) {
    if (on) {
        raw_ |= flag;
    } else {
        raw_ &= ~flag;
    }
}

unsigned LayoutWord::charactersPerLine() const {
    unsigned c = wide() ? (largeFont() ? 48u : 64u) : (largeFont() ? 34u : 44u);
    return doubleSize() ? c / 2 : c;
}

Bytes LayoutWord::stylePrefix() const {
    std::uint8_t align = 0;
    if (wide()) {
        align = rightAligned() ? 2 : centred() ? 1 : 0;
    }
    // The selector's lowest bit does not change the spacing.
    const unsigned v = lineSpacing() & ~1u;
    const std::uint8_t spacing = v == 0 ? 1 : v == 2 ? 71 : v == 4 ? 141 : 255;
    std::uint8_t mode = 0;
    if (doubleSize())
        mode |= 0x30;
    if (bold())
        mode |= 0x08;
    if (!largeFont())
        mode |= 0x01;
    return Bytes{0x1B, 0x61, align, 0x1B, 0x33, spacing,
                 0x1B, 0x21, mode,  0x1D, 0x42, static_cast<std::uint8_t>(inverse() ? 1 : 0)};
}

}  // namespace kkt
