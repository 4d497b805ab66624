#include <gtest/gtest.h>

#include "primitives/Bytes.hpp"

using namespace kkt;

TEST(Bytes, LittleEndianRoundTrip) {
    Bytes b;
    le::append16(b, 0x1234);
    le::append32(b, 0xA1B2C3D4u);
    le::append64(b, 0x0102030405060708ull);
    ASSERT_EQ(b.size(), 14u);
    EXPECT_EQ(b[0], 0x34);
    EXPECT_EQ(b[2], 0xD4);
    EXPECT_EQ(le::read16(b, 0), 0x1234);
    EXPECT_EQ(le::read32(b, 2), 0xA1B2C3D4u);
    EXPECT_EQ(le::read64(b, 6), 0x0102030405060708ull);
    EXPECT_EQ(le::readVar(b, 2, 3), 0xB2C3D4u);
}

TEST(Bytes, CheckedReadsRefuseFieldsPastTheEnd) {
    const Bytes b{1, 2, 3};
    EXPECT_FALSE(le::read16(b, 2));
    EXPECT_FALSE(le::read16(b, SIZE_MAX));  // offset arithmetic must not wrap
    EXPECT_FALSE(le::read32(b, 0));
    EXPECT_FALSE(le::readVar(b, 0, 9));
    EXPECT_EQ(le::readVar(b, 3, 0), 0u);
}

TEST(Bytes, ReaderStopsAtTheEndAndRemembersFailure) {
    const Bytes b{0x01, 0x02, 0x03, 0x04, 0x05};
    ByteReader r(b);
    EXPECT_EQ(r.u8(), 0x01);
    EXPECT_EQ(r.u16(), 0x0302);
    EXPECT_FALSE(r.u32());
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.remaining(), 2u);  // a failed read consumes nothing
    auto rest = r.take(2);
    ASSERT_TRUE(rest);
    EXPECT_EQ((*rest)[1], 0x05);
    EXPECT_TRUE(r.atEnd());
    EXPECT_FALSE(r.take(1));
}

TEST(Bytes, WriterChains) {
    ByteWriter w;
    w.u8(7).u16(0x0102).text("ab").fill(2, 0xFF);
    EXPECT_EQ(w.data(), (Bytes{7, 0x02, 0x01, 'a', 'b', 0xFF, 0xFF}));
}
