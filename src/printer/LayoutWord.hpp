#pragma once
// The layout word: one 32-bit word that tells how a block of text is printed (paper width, font
// size, line spacing, alignment and attributes). The word is kept as the raw value because the
// host and the documents build it bit by bit; the accessors give the fields a name.

#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt {

class LayoutWord {
  public:
    // Bit positions of the top byte.
    static constexpr std::uint32_t kSetFlag = 1u << 24;  // no effect on output
    static constexpr std::uint32_t kRightAligned = 1u << 25;
    static constexpr std::uint32_t kCentred = 1u << 26;
    static constexpr std::uint32_t kBold = 1u << 27;
    static constexpr std::uint32_t kAttribute = 1u << 28;  // no effect on output
    static constexpr std::uint32_t kInverse = 1u << 29;
    static constexpr std::uint32_t kDoubleSize = 1u << 30;

    // Common top bytes.
    static constexpr std::uint8_t kTopPlainLeft = 0x01;
    static constexpr std::uint8_t kTopCentred = 0x04;
    static constexpr std::uint8_t kTopCentredBold = 0x0C;

    // Paper-width values above this select the wide-paper layout.
    static constexpr std::uint8_t kNarrowPaperMax = 60;

    // Only the paper width is set, copied from the process-wide value.
    LayoutWord();
    explicit LayoutWord(std::uint32_t raw) : raw_(raw) {}

    // The process-wide paper-width value (initially 60), set from the printer settings.
    static std::uint8_t currentPaperWidth();
    static void setCurrentPaperWidth(std::uint8_t width);

    std::uint32_t raw() const { return raw_; }

    unsigned paperWidth() const { return raw_ & 0x1FFFu; }
    void setPaperWidth(unsigned width);
    // 0 to 3; sizes 2 and 3 select the large font.
    unsigned size() const { return (raw_ >> 13) & 0x3u; }
    void setSize(unsigned size);
    // 0 to 31; see stylePrefix() for the spacing each value gives.
    unsigned lineSpacing() const { return (raw_ >> 15) & 0x1Fu; }
    void setLineSpacing(unsigned spacing);
    std::uint8_t topByte() const { return static_cast<std::uint8_t>(raw_ >> 24); }
    void setTopByte(std::uint8_t top);
    void setFlag(std::uint32_t flag, bool on);

    bool wide() const { return paperWidth() > kNarrowPaperMax; }
    bool largeFont() const { return (raw_ & (1u << 14)) != 0; }
    bool rightAligned() const { return (raw_ & kRightAligned) != 0; }
    bool centred() const { return (raw_ & kCentred) != 0; }
    bool bold() const { return (raw_ & kBold) != 0; }
    bool inverse() const { return (raw_ & kInverse) != 0; }
    bool doubleSize() const { return (raw_ & kDoubleSize) != 0; }

    // Characters that fit on one printed line with this layout.
    unsigned charactersPerLine() const;
    // ESC/POS bytes that put the printer into this layout: alignment, line spacing, print mode and
    // inverse. On narrow paper the text is aligned by software, so the printer stays left-aligned.
    Bytes stylePrefix() const;

    friend bool operator==(const LayoutWord&, const LayoutWord&) = default;

  private:
    std::uint32_t raw_;
};

}  // namespace kkt
