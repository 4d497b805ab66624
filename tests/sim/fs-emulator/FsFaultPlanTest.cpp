#include "fs-emulator/FsFaultPlan.hpp"

#include <gtest/gtest.h>

namespace kkt::sim {
namespace {

TEST(FsFaultPlanTest, ControlLinesSetFaultsPerCommandOrForTheNextExchanges) {
    FsFaultPlan plan;
    ASSERT_FALSE(plan.apply("fault late 2 cmd=0x30"));
    ASSERT_FALSE(plan.apply("fault bad-crc"));
    EXPECT_EQ(plan.take(0x30), FsFault::Late);
    EXPECT_EQ(plan.take(0x31), FsFault::BadCrc) << "the command-bound fault skips other codes";
    EXPECT_EQ(plan.take(0x31), std::nullopt);
    EXPECT_EQ(plan.take(0x30), FsFault::Late);
    EXPECT_EQ(plan.take(0x30), std::nullopt);

    ASSERT_FALSE(plan.apply("fault noise 3"));
    ASSERT_FALSE(plan.apply("fault clear"));
    EXPECT_EQ(plan.take(0x30), std::nullopt);

    for (const char* kind : {"no-answer", "late", "bad-crc", "truncated", "noise"}) {
        ASSERT_FALSE(plan.apply(std::string("fault ") + kind + " cmd=16")) << kind;
        EXPECT_TRUE(plan.take(0x16)) << kind;
    }

    EXPECT_TRUE(plan.connected());
    ASSERT_FALSE(plan.apply("disconnect"));
    EXPECT_FALSE(plan.connected());
    ASSERT_FALSE(plan.apply("connect\r"));
    EXPECT_TRUE(plan.connected());
}

TEST(FsFaultPlanTest, UnknownOrMalformedLinesAreReportedAndChangeNothing) {
    FsFaultPlan plan;
    for (const char* line : {"bogus", "fault", "fault slow", "fault late 0", "fault late x",
                             "fault late cmd=0x100", "fault late 1 2", "connect now"}) {
        EXPECT_TRUE(plan.apply(line)) << line;
    }
    EXPECT_FALSE(plan.apply("   ")) << "blank lines are harmless";
    EXPECT_EQ(plan.take(0x30), std::nullopt);
    EXPECT_TRUE(plan.connected());
}

}  // namespace
}  // namespace kkt::sim
