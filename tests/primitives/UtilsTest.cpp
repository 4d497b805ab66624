#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "primitives/Utils.hpp"

using namespace kkt;

TEST(Utils, HexDumpGroupsEightAndBreaksAfterSixteen) {
    Bytes b;
    for (std::uint8_t i = 0; i <= 0x10; ++i)
        b.push_back(i);
    EXPECT_EQ(util::hexDump(b),
              "00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  \n"
              "10 ");
    EXPECT_EQ(util::hexDump({}), "");
    EXPECT_EQ(util::hexDump(Bytes{0xAB, 0xFF}), "AB FF ");
    Bytes eight(8, 0xC0);
    EXPECT_EQ(util::hexDump(eight), "C0 C0 C0 C0 C0 C0 C0 C0  ");
    Bytes thirtyTwo(32, 0x5A);
    const std::string dump = util::hexDump(thirtyTwo);
    EXPECT_EQ(dump.size(), 32u * 3 + 4 + 2);
    EXPECT_EQ(dump.substr(dump.size() - 3), "  \n");
}

TEST(Utils, Base64Decode) {
    struct Case {
        std::string_view text;
        std::string_view bytes;
    } cases[] = {
        {"", ""},
        {"TWFu", "Man"},
        {"TWE=", "Ma"},
        {"TWE", "Ma"},  // no fill needed
        {"TQ==", "M"},
        {"TQ", "M"},
        {"aGVsbG8gd29ybGQ=", "hello world"},
        {"aGVs\r\nbG8=", "hello"},
        {"+/+/", "\xFB\xFF\xBF"},
        {"AAA=", std::string_view("\0\0", 2)},
    };
    for (const auto& c : cases) {
        const auto decoded = util::base64Decode(c.text);
        ASSERT_TRUE(decoded) << c.text;
        EXPECT_EQ(asString(*decoded), c.bytes) << c.text;
    }
    for (std::string_view bad : {"T", "TWFuT", "TW-u", "TQ==TQ", "TWF*", "é"}) {
        EXPECT_FALSE(util::base64Decode(bad)) << bad;
    }
}

TEST(Utils, Trim) {
    struct Case {
        std::string_view in, trim, trimNul;
    } cases[] = {
        {"  abc \t\r\n", "abc", "abc"},
        {"a b", "a b", "a b"},
        {" \v\f ", "", ""},
        {"", "", ""},
        {std::string_view("0012\0\0 ", 7), std::string_view("0012\0\0", 6), "0012"},
        {std::string_view("\0 x", 3), std::string_view("\0 x", 3), "x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::trim(c.in), c.trim);
        EXPECT_EQ(util::trimSpaceAndNul(c.in), c.trimNul);
    }
}

TEST(Utils, DateFromTextAndFormatTimeAgreeInLocalTime) {
    struct Case {
        std::string_view text;
        const char* pattern;
        std::string_view formatted;  // with "%d.%m.%Y %H:%M:%S"
    } cases[] = {
        {"01.02.2024", "%d.%m.%Y", "01.02.2024 00:00:00"},
        {"  29.02.2024 \n", "%d.%m.%Y", "29.02.2024 00:00:00"},
        {"Dec  5 2024 15:46:18", "%b %d %Y %H:%M:%S", "05.12.2024 15:46:18"},
        {"31.12.2099 23:59", "%d.%m.%Y %H:%M", "31.12.2099 23:59:00"},
    };
    for (const auto& c : cases) {
        const auto t = util::dateFromText(c.text, c.pattern);
        ASSERT_TRUE(t) << c.text;
        EXPECT_EQ(util::formatTime(*t, "%d.%m.%Y %H:%M:%S"), c.formatted);
    }
    for (std::string_view bad : {"", "1.2", "32.13.2024", "01.02.2024x", "abc"}) {
        EXPECT_FALSE(util::dateFromText(bad, "%d.%m.%Y")) << bad;
    }
    // Day order: one day later is 86400 seconds later (no DST change in these dates).
    const auto a = util::dateFromText("10.03.2025", "%d.%m.%Y");
    const auto b = util::dateFromText("11.03.2025", "%d.%m.%Y");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*b - *a, 86400);
    EXPECT_EQ(util::formatTime(*a, "'%Y-%m-%d %H:%M:%S'"), "'2025-03-10 00:00:00'");
    EXPECT_EQ(util::formatTime(*a, ""), "");
    // Longer than any first guess of the buffer.
    std::string longPattern, longText;
    for (int i = 0; i < 100; ++i) {
        longPattern += "%d.%m.%Y|";
        longText += "10.03.2025|";
    }
    longPattern += "%d.%m.%Y|", longText += "10.03.2025|";
    EXPECT_EQ(util::formatTime(*a, longPattern), longText);
}

TEST(Utils, FixedSizeIntegers) {
    bool ok = false;
    EXPECT_EQ(util::u32FromBytes(Bytes{0x78, 0x56, 0x34, 0x12}, &ok), 0x12345678u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(util::u16FromBytes(Bytes{0x34, 0x12}, &ok), 0x1234);
    EXPECT_TRUE(ok);
    for (const Bytes& wrong : {Bytes{}, Bytes{1}, Bytes{1, 2, 3}, Bytes{1, 2, 3, 4, 5}}) {
        ok = true;
        EXPECT_EQ(util::u32FromBytes(wrong, &ok), 0u);
        EXPECT_FALSE(ok);
        if (wrong.size() != 2) {
            ok = true;
            EXPECT_EQ(util::u16FromBytes(wrong, &ok), 0);
            EXPECT_FALSE(ok);
        }
    }
    EXPECT_EQ(util::u16FromBytes(Bytes{1, 2, 3, 4}, &ok), 0);
    EXPECT_FALSE(ok);
}

TEST(Utils, EmailPlausible) {
    struct Case {
        std::string_view text;
        std::size_t minLength;
        bool empty, expected;
    } cases[] = {
        {"", 5, true, true},         {"", 5, false, false},      {"a@b.ru", 5, false, true},
        {"a@b.ru", 7, false, false}, {"ab.ru", 1, false, false}, {"a@bru", 1, false, false},
        {".@", 2, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::isEmailPlausible(c.text, c.minLength, c.empty), c.expected) << c.text;
    }
}

TEST(Utils, PhonePlausible) {
    struct Case {
        std::string_view text;
        std::size_t minLength;
        bool empty, expected;
    } cases[] = {
        {"+7 (912) 345-67-89", 10, false, true},
        {"+79123456789", 10, false, true},
        {"9123", 4, false, false},    // no leading "+"
        {"+7912", 10, false, false},  // too short
        {"", 10, true, true},
        {"", 10, false, false},
        {"+()-", 1, false, false},     // nothing left
        {"+000000", 1, false, false},  // the leading digits are zero
        {"+00007", 1, false, true},
        {"+0 7", 1, false, false},  // leading digits "0"
        {"+ 7", 1, false, false},   // no leading digits
        {"+abc", 1, false, false},
        {"+7abc", 1, false, true},
        // Far more digits than any integer holds: no conversion, no overflow.
        {"+999999999999999999999999999999999999999", 10, false, true},
        {"+000000000000000000000000000000000000000", 10, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::isPhonePlausible(c.text, c.minLength, c.empty), c.expected) << c.text;
    }
}
