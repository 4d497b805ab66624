#include <gtest/gtest.h>

#include "primitives/Crc.hpp"
#include "registration/CashStatusData.hpp"
#include "registration/ModelData.hpp"

using namespace kkt;

namespace {
const Bytes kId{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
}

TEST(ModelData, DefaultRecordReadsAsDefaultsAndIsInvalid) {
    const ModelData m;
    EXPECT_EQ(m.marker1(), 2001);
    EXPECT_EQ(m.marker2(), 65u);
    EXPECT_EQ(m.factoryNumber(), "");
    EXPECT_EQ(m.modelName(), "KALINOR ZX-7000");
    EXPECT_EQ(m.version(), "012");
    EXPECT_FALSE(m.isValid());
    EXPECT_EQ(m.bytes().size(), 70u);
}

TEST(ModelData, FactoryRecordLayoutAndChecksum) {
    const auto m = ModelData::factory("0012345678901234", kId);
    EXPECT_TRUE(m.isValid());
    const auto raw = m.bytes();
    EXPECT_EQ(le::load16(raw.data()), 2001);
    EXPECT_EQ(le::load32(raw.data() + 2), 65u);
    EXPECT_EQ(asString(raw.subspan(6, 16)), "0012345678901234");
    EXPECT_EQ(raw[22], 0);
    EXPECT_EQ(asString(raw.subspan(26, 15)), "KALINOR ZX-7000");
    EXPECT_EQ(asString(raw.subspan(58, 3)), "012");
    Bytes covered = toBytes("20010012345678901234");
    covered.insert(covered.end(), kId.begin(), kId.end());
    EXPECT_EQ(m.checksum(), Crc32::compute(covered));
    EXPECT_EQ(le::load32(raw.data() + 66), m.checksum());
    EXPECT_EQ(m.answer(), Bytes(raw.begin(), raw.begin() + 66));
    // Read back from its bytes it is the same record.
    EXPECT_EQ(ModelData(raw), m);

    // Twenty digits fill the field without a terminator.
    const auto full = ModelData::factory("12345678901234567890", kId);
    EXPECT_EQ(full.factoryNumber(), "12345678901234567890");
    EXPECT_EQ(full.modelName(), "KALINOR ZX-7000");
}

TEST(ModelData, MarkersReadWithTheirEmptyForms) {
    Bytes raw(70, 0);
    le::store32(raw.data() + 2, 0x80000001u);
    EXPECT_EQ(ModelData(raw).marker1(), 2001);
    EXPECT_EQ(ModelData(raw).marker2(), 65u);
    le::store16(raw.data(), 0xFFFF);
    le::store32(raw.data() + 2, 66);
    EXPECT_EQ(ModelData(raw).marker1(), 0xFFFF);
    EXPECT_EQ(ModelData(raw).marker2(), 66u);
}

TEST(ModelData, Validity) {
    const auto good = ModelData::factory("777", kId);
    ASSERT_TRUE(good.isValid());
    auto withChecksum = [&](std::uint32_t sum) {
        Bytes raw(good.bytes().begin(), good.bytes().end());
        le::store32(raw.data() + 66, sum);
        return ModelData(raw);
    };
    EXPECT_FALSE(withChecksum(0).isValid());
    EXPECT_FALSE(withChecksum(0xFFFFFFFFu).isValid());
    // The check value is not recomputed: any other value passes.
    EXPECT_TRUE(withChecksum(1).isValid());
    EXPECT_FALSE(ModelData::factory("", kId).isValid());
    EXPECT_FALSE(ModelData::factory("12a4", kId).isValid());
    EXPECT_FALSE(ModelData::factory(" 123", kId).isValid());
}

TEST(CashStatusData, ErasedReadsZeroAndFieldsSitAtTheirOffsets) {
    EXPECT_EQ(CashStatusData(Bytes(48, 0xFF)), CashStatusData{});
    Bytes raw(48, 0);
    le::store16(raw.data() + 0, 1);
    le::store64(raw.data() + 2, 2);
    le::store16(raw.data() + 10, 3);
    le::store64(raw.data() + 12, 4);
    le::store16(raw.data() + 20, 5);
    le::store64(raw.data() + 22, 6);
    le::store16(raw.data() + 30, 7);
    le::store64(raw.data() + 32, 8);
    le::store64(raw.data() + 40, static_cast<std::uint64_t>(-9));
    const CashStatusData c(raw);
    EXPECT_EQ(c.shiftCashInCount(), 1);
    EXPECT_EQ(c.shiftCashInSum(), 2u);
    EXPECT_EQ(c.shiftCashOutCount(), 3);
    EXPECT_EQ(c.shiftCashOutSum(), 4u);
    EXPECT_EQ(c.totalCashInCount(), 5);
    EXPECT_EQ(c.totalCashInSum(), 6u);
    EXPECT_EQ(c.totalCashOutCount(), 7);
    EXPECT_EQ(c.totalCashOutSum(), 8u);
    EXPECT_EQ(c.cash(), -9);
    EXPECT_EQ(Bytes(c.bytes().begin(), c.bytes().end()), raw);
}

TEST(CashStatusData, CashMovementsAndShiftReset) {
    Bytes raw(48, 0);
    le::store16(raw.data() + 0, 0xFFFF);  // about to wrap
    CashStatusData c(raw);
    c.addCashIn(1000);
    c.addCashOut(250);
    c.addCashOut(1000);
    EXPECT_EQ(c.shiftCashInCount(), 0);
    EXPECT_EQ(c.totalCashInCount(), 1);
    EXPECT_EQ(c.shiftCashInSum(), 1000u);
    EXPECT_EQ(c.totalCashOutCount(), 2);
    EXPECT_EQ(c.totalCashOutSum(), 1250u);
    EXPECT_EQ(c.cash(), -250);
    c.resetShift();
    EXPECT_EQ(c.shiftCashOutCount(), 0);
    EXPECT_EQ(c.shiftCashOutSum(), 0u);
    EXPECT_EQ(c.totalCashOutSum(), 1250u);
    EXPECT_EQ(c.totalCashInSum(), 1000u);
    EXPECT_EQ(c.cash(), -250);
}
