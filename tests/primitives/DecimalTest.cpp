#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "primitives/Decimal.hpp"

using namespace kkt;

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Resets the process-wide rounding source after each test.
class DecimalTest : public ::testing::Test {
  protected:
    void TearDown() override { setRoundingModeSource({}); }
};

}  // namespace

TEST_F(DecimalTest, DefaultsAndDecimalPlaces) {
    EXPECT_EQ(Decimal().scale(), 100u);
    EXPECT_EQ(Decimal().raw(), 0);
    struct Case {
        std::uint32_t scale;
        int places;
    } cases[] = {{100, 2}, {1, 0}, {0, 0}, {10, 1}, {1000000000u, 9}, {100000, 5}};
    for (const auto& c : cases)
        EXPECT_EQ(Decimal(c.scale).decimalPlaces(), c.places) << c.scale;

    Decimal d(1000, 5);
    d.setDecimalPlaces(-1);
    EXPECT_EQ(d.scale(), 1000u);
    d.setDecimalPlaces(0);
    EXPECT_EQ(d.scale(), 1u);
    d.setDecimalPlaces(9);
    EXPECT_EQ(d.scale(), 1000000000u);
    EXPECT_EQ(Decimal::withPlaces(5, 3).scale(), 100000u);
    EXPECT_EQ(Decimal::withPlaces(5, 3).raw(), 3);
}

TEST_F(DecimalTest, PlacesThatDoNotFitGiveScaleZeroWhichStillComputes) {
    // Host data may name any number of places; 10^10 does not fit a 32-bit scale.
    for (int places : {10, 12, 19, 255}) {
        const Decimal q = Decimal::withPlaces(places, 12345);
        EXPECT_EQ(q.scale(), 0u) << places;
        EXPECT_NE(q.scale(), 100000u);
        // Nothing below traps or divides by zero.
        EXPECT_EQ(q.toDouble(), 12345.0);
        EXPECT_EQ(q.rescaled(100).raw(), 1234500);
        EXPECT_EQ(Decimal::product(Decimal(100, 250), q).rescaled(100).scale(), 100u);
        EXPECT_EQ(q.text(), "12345");
    }
}

TEST_F(DecimalTest, Rescale) {
    using M = RoundingMode;
    struct Case {
        std::uint32_t scale;
        std::int64_t raw;
        std::uint32_t to;
        M mode;
        std::int64_t expected;
    } cases[] = {
        {1000, 12345, 100, M::HalfUp, 1235},
        {1000, 12345, 100, M::HalfEven, 1234},
        {1000, 12355, 100, M::HalfEven, 1236},
        {1000, 12355, 100, M::HalfUp, 1236},
        {1000, -12345, 100, M::HalfUp, -1234},
        {1000, -12345, 100, M::HalfEven, -1234},
        {1000, -12349, 100, M::HalfUp, -1234},  // negatives truncate toward zero
        {1000, 12344, 100, M::HalfUp, 1234},
        {10000, 123451, 100, M::HalfEven, 1234},  // only the first dropped digit counts
        {10000, 123451, 100, M::HalfUp, 1235},
        {10000, 123461, 100, M::HalfEven, 1235},
        {10, 125, 1000, M::HalfUp, 12500},
        {100, 1250, 100, M::HalfEven, 1250},
        {100000, 1500000, 100, M::HalfUp, 1500},
        {100, 1250, 1, M::HalfUp, 13},
        {100, 1250, 1, M::HalfEven, 12},
        {100, 1350, 1, M::HalfEven, 14},
        {10, kMin, 1, M::HalfUp, kMin / 10},
        {1, kMax, 100, M::HalfUp, -100},  // wraps: (2^63 - 1) * 100 mod 2^64
        // Scale 0 means "raw is the value": it computes like scale 1, never divides by zero.
        {0, 7, 100, M::HalfUp, 700},
        {100, 1250, 0, M::HalfUp, 13},
        {0, 7, 1, M::HalfUp, 7},
        {0, 7, 0, M::HalfUp, 7},
        // Ratios that are not powers of ten are outside the design but stay defined.
        {150, 150, 100, M::HalfUp, 150},
        {1000, 1999, 150, M::HalfUp, 333},  // f = 6: 1999 / 6 = 333.16
        {1000, 2000, 999, M::HalfEven, 2000},
    };
    for (const auto& c : cases) {
        const Decimal r = Decimal(c.scale, c.raw).rescaled(c.to, c.mode);
        EXPECT_EQ(r.scale(), c.to) << c.scale << " " << c.raw << " -> " << c.to;
        EXPECT_EQ(r.raw(), c.expected) << c.scale << " " << c.raw << " -> " << c.to;
    }
}

TEST_F(DecimalTest, RescaleReadsTheRoundingModeAtEveryCall) {
    const Decimal d(1000, 12345);
    EXPECT_EQ(d.rescaled(100).raw(), 1235);  // default half up
    RoundingMode mode = RoundingMode::HalfEven;
    setRoundingModeSource([&mode] { return mode; });
    EXPECT_EQ(d.rescaled(100).raw(), 1234);
    mode = RoundingMode::HalfUp;
    EXPECT_EQ(d.rescaled(100).raw(), 1235);
    setRoundingModeSource({});
    EXPECT_EQ(currentRoundingMode(), RoundingMode::HalfUp);

    EXPECT_EQ(roundingModeFromSetting(1), RoundingMode::HalfEven);
    for (std::uint8_t s : {0, 2, 255})
        EXPECT_EQ(roundingModeFromSetting(s), RoundingMode::HalfUp);
}

TEST_F(DecimalTest, SetFromDoubleLooksAtTheFirstDroppedDigit) {
    struct Case {
        std::uint32_t scale;
        double x;
        std::int64_t expected;
    } cases[] = {
        {100, 1.235, 124},
        {100, 1.225, 122},
        {100, -1.235, -123},
        {100, 0.0149, 1},  // the dropped digit is 4, not a rounded 5
        {100, 1.2346, 123},
        {100, -0.0149, -1},
        {100, 0.0199, 2},
        {100, 0.0995, 10},
        {100, 0.145, 14},
        {100, 0.155, 16},
        {100, 2.675, 268},
        {100, 1.2355, 124},
        {100, 12.5, 1250},
        {100, 0.0, 0},
        {100, 123456789.015, 12345678902},
        {1000, 1.2345, 1234},
        {1, 2.5, 2},
        {1, 3.5, 4},
        {1, 3.6, 4},
        {0, 7.6, 8},
    };
    for (const auto& c : cases) {
        Decimal d(c.scale, 99);
        d.setFromDouble(c.x);
        EXPECT_EQ(d.scale(), c.scale);
        EXPECT_EQ(d.raw(), c.expected) << c.x << " at scale " << c.scale;
    }
}

TEST_F(DecimalTest, SetFromDoubleOutOfRangeSaturatesAndNanIsZero) {
    Decimal d;
    d.setFromDouble(1e300);
    EXPECT_EQ(d.raw(), kMax);
    d.setFromDouble(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(d.raw(), kMin);
    d.setFromDouble(std::nan(""));
    EXPECT_EQ(d.raw(), 0);
}

TEST_F(DecimalTest, SumDifferenceAndProduct) {
    struct Case {
        Decimal a, b, sum, difference;
    } cases[] = {
        {{10, 15}, {100, 225}, {100, 375}, {100, -75}},
        {{100, 225}, {10, 15}, {100, 375}, {100, 75}},
        {{100, 100}, {100, 1}, {100, 101}, {100, 99}},
        {{0, 5}, {100, 250}, {100, 250}, {100, -250}},  // scale 0 contributes nothing
        {{100, kMax}, {100, 1}, {100, kMin}, {100, kMax - 1}},
        {{100, kMin}, {100, 1}, {100, kMin + 1}, {100, kMax}},
        {{1, kMax}, {100, 1}, {100, -99}, {100, -101}},  // kMax * 100 wraps to -100
    };
    for (const auto& c : cases) {
        const Decimal s = Decimal::sum(c.a, c.b);
        const Decimal d = c.a - c.b;
        EXPECT_EQ(s.scale(), c.sum.scale());
        EXPECT_EQ(s.raw(), c.sum.raw()) << c.a.text() << " + " << c.b.text();
        EXPECT_EQ(d.scale(), c.difference.scale());
        EXPECT_EQ(d.raw(), c.difference.raw()) << c.a.text() << " - " << c.b.text();
    }
    // 0.15 x 3.5 = 0.525: the item sum of a unit price and a quantity.
    const Decimal p = Decimal::product(Decimal(100, 15), Decimal(100000, 350000));
    EXPECT_EQ(p.scale(), 10000000u);
    EXPECT_EQ(p.raw(), 5250000);
    EXPECT_EQ(p.rescaled(100, RoundingMode::HalfUp).raw(), 53);
    EXPECT_EQ(p.rescaled(100, RoundingMode::HalfEven).raw(), 52);
    EXPECT_EQ(Decimal::product(Decimal(100, kMax), Decimal(1, 2)).raw(), -2);
    EXPECT_EQ(Decimal::product(Decimal(100, kMin), Decimal(1, -1)).raw(), kMin);
}

TEST_F(DecimalTest, Comparison) {
    struct Case {
        Decimal a, b;
        bool eq, lt, gt;
    } cases[] = {
        {{100, 100}, {1000, 1000}, true, false, false},  // equal through the doubles
        {{100, 100}, {100, 100}, true, false, false},
        {{100, 100}, {100, 101}, false, true, false},
        {{100, 150}, {1000, 1490}, false, false, true},
        {{10, 15}, {100, 151}, false, true, false},
        {{0, 5}, {100, 1}, false, true, false},  // a scale of 0 is less
        {{100, 1}, {0, 5}, false, false, true},
        {{100, -5}, {100, 0}, false, true, false},
        {{1, 1LL << 60}, {1, (1LL << 60) + 1}, false, true, false},  // one double, two raws
    };
    for (const auto& c : cases) {
        const std::string what = c.a.text() + " vs " + c.b.text();
        EXPECT_EQ(c.a == c.b, c.eq) << what;
        EXPECT_EQ(c.a != c.b, !c.eq) << what;
        EXPECT_EQ(c.a < c.b, c.lt) << what;
        EXPECT_EQ(c.a > c.b, c.gt) << what;
        EXPECT_EQ(c.a <= c.b, c.eq || c.lt) << what;
        EXPECT_EQ(c.a >= c.b, c.eq || c.gt) << what;
    }
}

TEST_F(DecimalTest, Text) {
    struct Case {
        Decimal d;
        char sep;
        std::string_view group, text;
    } cases[] = {
        {{100, 1250}, '.', "", "12.50"},
        {{100, -5}, '.', "", "-0.05"},
        {{100, 0}, '.', "", "0.00"},
        {{100, 123456789}, ',', " ", "1 234 567,89"},
        {{100, 99999}, ',', " ", "999,99"},
        {{100, 100000}, '.', " ", "1 000.00"},
        {{1000, 1}, '.', "", "0.001"},
        {{1, -7}, '.', " ", "-7"},
        {{0, 1234567}, '.', " ", "1234567"},
        {{100, kMin}, '.', "", "-92233720368547758.08"},
        {{100, kMax}, '.', "", "92233720368547758.07"},
        {{150, 149}, '.', "", "0.14"},  // a fraction longer than the places is cut
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.d.text(c.sep, c.group), c.text);
}

TEST_F(DecimalTest, FsByteForms) {
    bool ok = false;
    Decimal d = Decimal::fromFs5(Bytes{0x10, 0x27, 0, 0, 0}, 100, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(d.text(), "100.00");
    d = Decimal::fromFs6(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 100, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(d.raw(), 0xFFFFFFFFFFFFLL);
    for (const Bytes& wrong : {Bytes{1, 2, 3, 4}, Bytes{}, Bytes{1, 2, 3, 4, 5, 6}}) {
        ok = true;
        d = Decimal::fromFs5(wrong, 10, &ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(d.raw(), -1);
        EXPECT_EQ(d.scale(), 10u);
    }
    EXPECT_EQ(Decimal::fromFs6(Bytes{1, 2, 3, 4, 5}, 100, &ok).raw(), -1);
    EXPECT_FALSE(ok);

    struct Case {
        std::int64_t raw;
        Bytes fs5, fs6;  // empty: does not fit
    } cases[] = {
        {10000, {0x10, 0x27, 0, 0, 0}, {0x10, 0x27, 0, 0, 0, 0}},
        {(1LL << 40) - 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}},
        {1LL << 40, {}, {0, 0, 0, 0, 0, 1}},
        {1LL << 48, {}, {}},
        {-1, {}, {}},
    };
    for (const auto& c : cases) {
        ok = c.fs5.empty();
        EXPECT_EQ(Decimal(100, c.raw).toFs5(&ok), c.fs5) << c.raw;
        EXPECT_EQ(ok, !c.fs5.empty()) << c.raw;
        ok = c.fs6.empty();
        EXPECT_EQ(Decimal(100, c.raw).toFs6(&ok), c.fs6) << c.raw;
        EXPECT_EQ(ok, !c.fs6.empty()) << c.raw;
    }
}

TEST_F(DecimalTest, SetRawFromBytesAndToDouble) {
    Decimal d(100);
    d.setRaw(Bytes{0xE2, 0x04, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(d.raw(), 1250);
    EXPECT_DOUBLE_EQ(d.toDouble(), 12.5);
    d.setRaw(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(d.raw(), -1);
    d.setRaw(Bytes{0x01, 0x02});  // shorter: zero-extended
    EXPECT_EQ(d.raw(), 0x0201);
    EXPECT_DOUBLE_EQ(Decimal(0, -3).toDouble(), -3.0);
}
