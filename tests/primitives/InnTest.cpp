#include <gtest/gtest.h>

#include <string>

#include "primitives/Inn.hpp"

using namespace kkt;

namespace {
// Two published taxpayer numbers with correct check digits.
constexpr std::string_view kOrgInn = "7707083893";
constexpr std::string_view kPersonInn = "500100732259";
}  // namespace

TEST(Inn, NormaliseRemovesEveryBlankAndTenZeros) {
    struct Case {
        std::string_view in, out;
    } cases[] = {
        {"7707083893", "7707083893"},
        {" 77 070 83893\t", "7707083893"},
        {"5001\n0073\r2259", "500100732259"},
        {"000000000000", ""},
        {"1200000000003", ""},  // ten zeros anywhere, not only the whole string
        {"0000 00000 0", ""},   // counted after the blanks are gone
        {"100000000", "100000000"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(inn::normalise(c.in), c.out) << "'" << c.in << "'";
}

TEST(Inn, ValidityKindAndFsForm) {
    struct Case {
        std::string_view inn;
        bool valid;
        std::uint8_t kind;
        std::string_view fs;
    } cases[] = {
        {kOrgInn, true, inn::kOrganisationKind, "7707083893  "},
        {kPersonInn, true, inn::kPersonKind, "500100732259"},
        {"", false, inn::kEmptyKind, "000000000000"},
        {"7707083894", false, inn::kInvalidKind, ""},    // last check digit wrong
        {"500100732250", false, inn::kInvalidKind, ""},  // 12th digit wrong
        {"500100732269", false, inn::kInvalidKind, ""},  // 11th digit wrong
        {"770708389", false, inn::kInvalidKind, ""},     // 9 digits
        {"77070838930", false, inn::kInvalidKind, ""},   // 11 digits
        {"0000000000", false, inn::kInvalidKind, ""},    // check digit fits, but zero
        {"000000000000", false, inn::kInvalidKind, ""},
        {"A707083893", false, inn::kInvalidKind, ""},  // does not begin with a digit
        {"77070 3893", false, inn::kInvalidKind, ""},  // not normalised
        {"770708389-", false, inn::kInvalidKind, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(inn::isValid(c.inn), c.valid) << c.inn;
        EXPECT_EQ(inn::kind(c.inn), c.kind) << c.inn;
        EXPECT_EQ(inn::fsForm(c.inn), c.fs) << c.inn;
    }
}

TEST(Inn, EmptyCountsAsValidOnlyWhenAllowed) {
    EXPECT_FALSE(inn::isValid(""));
    EXPECT_TRUE(inn::isValid("", inn::Empty::Valid));
    EXPECT_FALSE(inn::isValid("123", inn::Empty::Valid));
    EXPECT_TRUE(inn::isValid(kOrgInn, inn::Empty::Valid));
}

TEST(Inn, OptionalKeepsOnlyValidNormalisedValues) {
    auto o = inn::optional(" 7707 083 893 ");
    EXPECT_TRUE(o.present);
    EXPECT_EQ(o.value, kOrgInn);
    for (std::string_view bad : {"", "   ", "7707083894", "000000000000", "12"}) {
        o = inn::optional(bad);
        EXPECT_FALSE(o.present) << bad;
        EXPECT_EQ(o.value, "") << bad;
    }
}

TEST(Rn, ValidityNormalFormAndFsForm) {
    // Check values computed independently: CRC-16/CCITT-FALSE over the 42-character string.
    struct Case {
        std::string_view rn, inn, factory;
        std::string_view normal;  // empty when invalid
    } cases[] = {
        {"0000000001015814", kOrgInn, "0001234567890", "0000000001015814"},
        {"1015814", kOrgInn, "0001234567890", "0000000001015814"},           // 7 characters, padded
        {"0000000001081350", kOrgInn, "0001234567890", "0000000001081350"},  // 15814 + 65536
        {"0000000003012422", kPersonInn, "9999078900004312", "0000000003012422"},
        {"0024083", kOrgInn, "12345", "0000000000024083"},
        {"024083", kOrgInn, "12345", ""},                            // 6 characters
        {"00000000000024083", kOrgInn, "12345", ""},                 // 17 characters
        {"0000000001015815", kOrgInn, "0001234567890", ""},          // check value off by one
        {"0000000002015814", kOrgInn, "0001234567890", ""},          // other order number
        {"0000000001015814", kOrgInn, "0001234567891", ""},          // other factory number
        {"0000000001015814", "7707083894", "0001234567890", ""},     // invalid INN
        {"0000000001015814", "", "0001234567890", ""},               // no INN
        {"0000000001015814", kOrgInn, "100000001234567890123", ""},  // factory number too long
        {"000000000101581A", kOrgInn, "0001234567890", ""},          // not a number
        {"000000000A015814", kOrgInn, "0001234567890", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rn::isValid(c.rn, c.inn, c.factory), !c.normal.empty()) << c.rn;
        EXPECT_EQ(rn::normalise(c.rn, c.inn, c.factory), c.normal) << c.rn;
        EXPECT_EQ(rn::fsForm(c.rn, c.inn, c.factory),
                  c.normal.empty() ? std::string() : std::string(c.normal) + "    ")
            << c.rn;
    }
}
