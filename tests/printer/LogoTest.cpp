#include "printer/Logo.hpp"

#include <gtest/gtest.h>

namespace kkt {
namespace {

TEST(Logo, DecodedOnceAs48By50) {
    const PrinterImage& a = logo();
    EXPECT_EQ(&a, &logo());
    EXPECT_EQ(a.width, 48u);
    EXPECT_EQ(a.height, 50u);
    EXPECT_EQ(a.bitmap.size(), 400u);
    EXPECT_EQ(a.rowStride(), 8u);
    EXPECT_TRUE(a.isValid());
    // The two padding bytes of each row stay white.
    for (std::size_t r = 0; r < 50; ++r) {
        EXPECT_EQ(a.bitmap[r * 8 + 6], 0) << r;
        EXPECT_EQ(a.bitmap[r * 8 + 7], 0) << r;
    }
    // Top edge of the receipt: dots 8 to 39.
    EXPECT_EQ(a.bitmap[0], 0x00);
    EXPECT_EQ(a.bitmap[1], 0xFF);
    EXPECT_EQ(a.bitmap[4], 0xFF);
    EXPECT_EQ(a.bitmap[5], 0x00);
}

TEST(Logo, HexDecodingHighDigitFirst) {
    const PrinterImage i = decodeHexImage("0Fa5C3", 8, 3);
    EXPECT_EQ(i.bitmap, (Bytes{0x0F, 0xA5, 0xC3}));
}

}  // namespace
}  // namespace kkt
