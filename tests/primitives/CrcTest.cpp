#include <gtest/gtest.h>

#include "primitives/Crc.hpp"

using namespace kkt;

TEST(Crc, StandardCheckValues) {
    EXPECT_EQ(Crc16::compute(asBytes("123456789")), 0x29B1);
    EXPECT_EQ(Crc32::compute(asBytes("123456789")), 0xCBF43926u);
}

TEST(Crc, EmptyInputGivesInitialState) {
    EXPECT_EQ(Crc16::compute({}), 0xFFFF);
    EXPECT_EQ(Crc32::compute({}), 0u);
}

TEST(Crc, Crc16TableEntriesAndRunningUpdate) {
    const auto& t = Crc16::table();
    EXPECT_EQ(t[0], 0x0000);
    EXPECT_EQ(t[1], 0x1021);
    EXPECT_EQ(t[255], 0x1EF0);
    // Feeding the data in two pieces gives the same CRC as one piece.
    const auto all = asBytes("123456789");
    EXPECT_EQ(Crc16::update(Crc16::update(Crc16::kInit, all.first(4)), all.subspan(4)), 0x29B1);
}
