#include <gtest/gtest.h>

#include "primitives/Cp866.hpp"

using namespace kkt;
using namespace kkt::literals;

TEST(Cp866, LiteralsBecomeCp866AtCompileTime) {
    constexpr std::string_view total = "ИТОГ"_cp866;
    static_assert(total.size() == 4);
    EXPECT_EQ(total, "\x88\x92\x8E\x83");
    EXPECT_EQ("Ёё №1"_cp866,
              "\xF0\xF1 \xFC"
              "1");
    EXPECT_EQ("абвпрсяА"_cp866, "\xA0\xA1\xA2\xAF\xE0\xE1\xEF\x80");
    EXPECT_EQ("─│┌"_cp866, "\xC4\xB3\xDA");
}

TEST(Cp866, RunTimeConversionBothWays) {
    const std::string utf8 = "Кассир Ёлкин: 100,00 ₽";
    const std::string cp = cp866::fromUtf8(utf8);
    EXPECT_EQ(cp.back(), '?');  // the rouble sign is not in CP866
    EXPECT_EQ(cp866::toUtf8(cp), "Кассир Ёлкин: 100,00 ?");
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(cp866::fromUtf8(cp866::toUtf8(one)), one) << b;
    }
}

TEST(Cp866, CaseMapping) {
    struct Case {
        std::string_view lower, upper;
    };
    const Case cases[] = {
        {"abcz"_cp866, "ABCZ"_cp866},
        {"кассир"_cp866, "КАССИР"_cp866},
        {"абвгдежзийклмноп"_cp866, "АБВГДЕЖЗИЙКЛМНОП"_cp866},
        {"рстуфхцчшщъыьэюя"_cp866, "РСТУФХЦЧШЩЪЫЬЭЮЯ"_cp866},
        {"ё"_cp866, "Ё"_cp866},
        {"12 №,─"_cp866, "12 №,─"_cp866},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp866::upper(c.lower), c.upper);
        EXPECT_EQ(cp866::lower(c.upper), c.lower);
    }
    // Other letters of the table stay as they are.
    EXPECT_EQ(cp866::upper("є"_cp866), "є"_cp866);
}
