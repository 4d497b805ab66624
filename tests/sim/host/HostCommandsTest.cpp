#include "host/HostCommands.hpp"

#include <gtest/gtest.h>

#include "primitives/Cp866.hpp"

namespace kkt::sim {
namespace {

Bytes build(std::string_view name, CommandArgs args, bool expectOk = true) {
    const auto* c = findCommand(name);
    EXPECT_TRUE(c) << name;
    Bytes out;
    std::string error;
    EXPECT_EQ(c->build(args, out, error), expectOk) << name << ": " << error;
    return out;
}

TEST(HostCommandsTest, OperatorAndHexParsing) {
    std::string e;
    auto op = parseOperator("20:30", e);
    ASSERT_TRUE(op);
    EXPECT_EQ(op->number, 20);
    EXPECT_EQ(op->password, 30u);
    op = parseOperator("service", e);
    ASSERT_TRUE(op);
    EXPECT_EQ(op->number, 255);
    EXPECT_EQ(op->password, kServicePassword);
    for (auto bad : {"20", "20:", "256:1", "x:1", "1:4294967296"})
        EXPECT_FALSE(parseOperator(bad, e)) << bad;
    EXPECT_EQ(withOperator(Operator{20, 0x01020304}, Bytes{9}), (Bytes{20, 4, 3, 2, 1, 9}));

    EXPECT_EQ(parseHex("01 aB:ff-00", e), (Bytes{0x01, 0xAB, 0xFF, 0x00}));
    EXPECT_FALSE(parseHex("abc", e));
    EXPECT_FALSE(parseHex("zz", e));
    EXPECT_EQ(parseNumber("0x1F", 255), 31u);
    EXPECT_FALSE(parseNumber("256", 255));
    EXPECT_FALSE(parseNumber("12a", 1000));
}

TEST(HostCommandsTest, CashierRecordRoundTripsThroughItsFileLayout) {
    CashierRecord c{7, 0x0841, 1234, cp866::fromUtf8("ИВАНОВА"), "ivanova", "1234", "7707083893"};
    const auto b = encodeCashier(c);
    ASSERT_EQ(b.size(), kCashierRecordSize);
    EXPECT_EQ(b[0], 7);
    EXPECT_EQ(le::load32(b.data() + 1), 0x0841u);
    EXPECT_EQ(le::load32(b.data() + 5), 1234u);
    EXPECT_EQ(b[13], 0x88);  // "И" in CP866
    EXPECT_EQ(b[269], 'i');
    EXPECT_EQ(b[301], '1');
    EXPECT_EQ(b[333], '7');
    auto back = decodeCashier(b);
    ASSERT_TRUE(back);
    EXPECT_EQ(encodeCashier(*back), b);
    EXPECT_FALSE(decodeCashier(ByteView(b).first(344)));

    CommandArgs a;
    a.positional = {"3"};
    a.options = {{"--name", std::string(256, 'x')}};
    build("cashier-write", a, false);  // a name over 255 bytes is refused, not cut
}

TEST(HostCommandsTest, PrintCommandsLayOutTheirControlBytes) {
    CommandArgs text;
    text.positional = {"ИТОГ", "b"};
    text.options = {{"--align", "center"}, {"--size", "2"}, {"--bold", ""}, {"--cut", ""}};
    const auto t = build("print-text", text);
    ASSERT_GE(t.size(), 4u);
    EXPECT_EQ(t[0], 0);     // line spacing
    EXPECT_EQ(t[1], 1);     // centred
    EXPECT_EQ(t[2], 2);     // size
    EXPECT_EQ(t[3], 0x11);  // bold and cut
    EXPECT_EQ(asString(ByteView(t).subspan(4)), cp866::fromUtf8("ИТОГ\nb"));

    CommandArgs qr;
    qr.positional = {"https://x"};
    qr.options = {{"--align", "right"}};
    EXPECT_EQ(build("print-qr", qr),
              (Bytes{0x02, 0x00, 'h', 't', 't', 'p', 's', ':', '/', '/', 'x'}));

    CommandArgs bc;
    bc.positional = {"12,5"};
    bc.options = {{"--type", "code39"}, {"--cut", ""}};
    EXPECT_EQ(build("print-barcode", bc), (Bytes{2, 0x10, '1', '2', ',', '5'}));
    bc.options = {{"--type", "ean99"}};
    build("print-barcode", bc, false);
}

TEST(HostCommandsTest, AmountsAreRoublesIntoKopecks) {
    struct Case {
        const char* text;
        bool ok;
        std::uint64_t kopecks;
    } cases[] = {{"150", true, 15000}, {"12.5", true, 1250}, {"0.01", true, 1}, {"1.234", false, 0},
                 {"-1", false, 0},     {"x", false, 0},      {"0x10", false, 0}};
    for (const auto& c : cases) {
        CommandArgs a;
        a.positional = {c.text};
        const auto b = build("cash-in", a, c.ok);
        if (c.ok) {
            ASSERT_EQ(b.size(), 8u) << c.text;
            EXPECT_EQ(le::load64(b.data()), c.kopecks) << c.text;
        }
    }
}

TEST(HostCommandsTest, DecodersReadTheFixedLayoutsAndFlagShortData) {
    const auto* fs = findCommand("fs-status");
    ASSERT_TRUE(fs);
    Bytes st(30, 0);
    st[0] = 3;
    st[3] = 1;
    const Bytes when{26, 12, 11, 15, 4};
    std::copy(when.begin(), when.end(), st.begin() + 5);
    const std::string num = "9999078900001234";
    std::copy(num.begin(), num.end(), st.begin() + 10);
    le::store32(st.data() + 26, 42);
    auto f = fs->decode(st);
    ASSERT_EQ(f.size(), 8u);
    EXPECT_EQ(f[0].value, "3");
    EXPECT_EQ(f[3].value, "yes");
    EXPECT_EQ(f[5].value, "2026-12-11 15:04");
    EXPECT_EQ(f[6].value, num);
    EXPECT_EQ(f[7].value, "42");
    f = fs->decode(ByteView(st).first(29));
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].name, "layout");

    const auto* cash = findCommand("cash-status");
    Bytes cs(48, 0);
    le::store64(cs.data() + 40, static_cast<std::uint64_t>(-150));
    f = cash->decode(cs);
    EXPECT_EQ(f.back().value, "-1.50");
}

}  // namespace
}  // namespace kkt::sim
