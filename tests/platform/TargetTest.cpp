#include <gtest/gtest.h>

#include <sys/types.h>
#include <ctime>

// A fiscal register dates its documents: time must not wrap in 2038 on the 32-bit board.
TEST(Target, TimeAndFileOffsetsAre64Bit) {
    EXPECT_EQ(sizeof(std::time_t), 8u);
    EXPECT_EQ(sizeof(off_t), 8u);
}

TEST(Target, DatesAfter2038ConvertBothWays) {
    std::tm tm{};
    tm.tm_year = 2040 - 1900;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    tm.tm_hour = 12;
    const std::time_t t = timegm(&tm);
    ASSERT_GT(t, std::time_t{0x7FFFFFFF});
    std::tm back{};
    ASSERT_NE(gmtime_r(&t, &back), nullptr);
    EXPECT_EQ(back.tm_year, 2040 - 1900);
}
