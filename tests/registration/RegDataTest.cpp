#include "registration/RegData.hpp"

#include <gtest/gtest.h>

#include "primitives/Crc.hpp"

namespace kkt {
namespace {

Tlv text(std::uint16_t tag, std::string_view s) {
    return Tlv().setText(tag, s);
}

// A registration number valid for the INN and factory number below, made by the RN rule.
std::string validRn(const std::string& order, const std::string& inn, const std::string& factory) {
    const std::string check = order + std::string(12 - inn.size(), '0') + inn +
                              std::string(20 - factory.size(), '0') + factory;
    const auto crc = Crc16::compute(asBytes(check));
    char digits[7];
    std::snprintf(digits, sizeof digits, "%06u", unsigned(crc));
    return order + digits;
}

const std::string kInn = "7707083893";
const std::string kFactory = "0000000001234567";

TlvList fullList() {
    return {
        Tlv().setByte(1001, 1),
        Tlv().setByte(1002, 0),
        text(1009, "ADDRESS 1"),
        Tlv().setU32(1012, 1733400000),
        text(1013, kFactory),
        text(1018, kInn),
        text(1037, validRn("0000000001", kInn, kFactory)),
        Tlv().setU32(1040, 7),
        text(1041, "  9999078900012345  "),
        text(1048, "USER"),
        Tlv().setByte(1056, 1),
        Tlv().setByte(1062, 0x21),
        Tlv(1077, Bytes{0, 0, 0x12, 0x34, 0x56, 0x78}),
        text(1187, "PLACE"),
        Tlv().setByte(1189, 4),
        Tlv().setByte(1190, 4),
        Tlv().setByte(1209, 4),
        Tlv().setU16(1213, 300),
        Tlv(1275, Bytes{0, 1, 2}),
        Tlv().setU32(1290, 0x100),
        Tlv().setU32(1205, 5),
        text(1157, "IGNORED"),
        text(1009, "ADDRESS 2"),  // a later element with the same tag wins
    };
}

TEST(RegDataTest, ApplyFillsEveryClassAndLaterTagsWin) {
    RegData r;
    r.apply(fullList(), ResetFirst::Yes);
    EXPECT_EQ(r.modeFlags, IncomingReg::kAutomaticMode | IncomingReg::kEncryption);
    EXPECT_EQ(r.settlementAddress, "ADDRESS 2");
    EXPECT_EQ(r.registrationTime, 1733400000u);
    EXPECT_EQ(r.factoryNumber, kFactory);
    EXPECT_EQ(r.documentNumber, 7u);
    EXPECT_EQ(r.fsNumber, "9999078900012345");
    EXPECT_EQ(r.taxSystems, 0x21);
    EXPECT_EQ(r.fiscalSign, 0x12345678u);
    EXPECT_EQ(r.ffdKkt, 4);
    EXPECT_EQ(r.keyResource, 300);
    EXPECT_EQ(r.additionalData, (Bytes{0, 1, 2}));
    EXPECT_EQ(r.usageConditions, 0x100u);
    EXPECT_EQ(r.changeReasons, 5u);
    EXPECT_TRUE(r.isRegistered());

    // Wrong lengths give 0 or empty.
    r.apply(Tlv(1040, Bytes{1, 2, 3}));
    r.apply(Tlv(1213, Bytes{1}));
    EXPECT_EQ(r.documentNumber, 0u);
    EXPECT_EQ(r.keyResource, 0);

    r.reset();
    EXPECT_EQ(r, RegData());
    EXPECT_FALSE(r.isRegistered());
}

TEST(RegDataTest, IsRegisteredNeedsAValidRnAndForRegDataTheFsNumber) {
    RegData r;
    r.apply(fullList());
    ASSERT_TRUE(r.isRegistered());

    CoreRegData core(r);
    EXPECT_TRUE(core.isRegistered());

    RegData noFs = r;
    noFs.apply(text(1041, "   "));
    EXPECT_TRUE(noFs.fsNumber.empty());
    EXPECT_FALSE(noFs.isRegistered());
    EXPECT_TRUE(static_cast<const CoreRegData&>(noFs).CoreRegData::isRegistered());

    // The FS forms, as the FS gives them back, still count.
    RegData fsForms = r;
    fsForms.apply(text(1018, kInn + "  "));
    fsForms.apply(text(1037, r.registrationNumber + "    "));
    EXPECT_TRUE(fsForms.isRegistered());

    RegData badRn = r;
    badRn.apply(text(1037, "0000000001000000"));
    EXPECT_FALSE(badRn.isRegistered());

    RegData noInn = r;
    noInn.apply(text(1018, ""));
    EXPECT_FALSE(noInn.isRegistered());
}

TEST(RegDataTest, EqualityCoversEveryClassAndCopiesGoClassByClass) {
    RegData a;
    a.apply(fullList());
    RegData b = a;
    EXPECT_EQ(a, b);
    b.ffdFs = 1;
    EXPECT_NE(a, b);
    b = a;
    b.fiscalSign = 1;
    EXPECT_NE(a, b);
    b = a;
    b.cashierInn = "x";
    EXPECT_NE(a, b);

    const RegData fromCore{CoreRegData(a)};
    EXPECT_EQ(static_cast<const CoreRegData&>(fromCore), static_cast<const CoreRegData&>(a));
    EXPECT_EQ(fromCore.fiscalSign, 0u);
    EXPECT_TRUE(fromCore.fsNumber.empty());

    // A flag element of 0 clears its bit again.
    a.apply(Tlv().setByte(1001, 0));
    EXPECT_EQ(a.modeFlags, IncomingReg::kEncryption);
}

}  // namespace
}  // namespace kkt
