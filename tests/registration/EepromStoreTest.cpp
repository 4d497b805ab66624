#include <gtest/gtest.h>

#include <sstream>

#include "RegistrationTestSupport.hpp"
#include "registration/EepromStore.hpp"
#include "registration/ServiceModes.hpp"

using namespace kkt;

namespace {

const Bytes kExistingId{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                        0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

Bytes slice(const Bytes& b, std::size_t at, std::size_t n) {
    return Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

bool allErased(const Bytes& b) {
    return b.size() == 4096 && std::all_of(b.begin(), b.end(), [](auto x) { return x == 0xFF; });
}

}  // namespace

TEST(EepromStore, StartWithErasedEeprom) {
    test::TempEeprom file;
    test::FixedRandom random(0x10);
    const EepromStore store(file.path(), random);
    CoreState state;
    const auto outcome = store.load(state);
    EXPECT_TRUE(outcome.deviceId);
    EXPECT_TRUE(outcome.modelRead);
    EXPECT_FALSE(outcome.modelPublished);
    EXPECT_TRUE(outcome.cleared);
    EXPECT_EQ(random.calls, 1);
    // The id made now is the one in the store, though the erase took it off the EEPROM again.
    const Bytes made = random.deviceBytes(16);
    EXPECT_EQ(state.deviceId(), made);
    EXPECT_TRUE(allErased(file.read()));
    ASSERT_TRUE(state.modelData());
    EXPECT_EQ(*state.modelData(), ModelData{});
    EXPECT_FALSE(state.modelAnswer());

    // The erased form of the records.
    ModelData m = ModelData::factory("1", kExistingId);
    ASSERT_TRUE(store.readModel(m));
    EXPECT_EQ(m.marker1(), 0xFFFF);
    EXPECT_EQ(m.factoryNumber(), "");
    // The check value is left as read.
    EXPECT_EQ(m.checksum(), 0xFFFFFFFFu);
    EXPECT_FALSE(m.isValid());
    CashStatusData c;
    c.addCashIn(5);
    ASSERT_TRUE(store.readCash(c));
    EXPECT_EQ(c, CashStatusData{});
}

TEST(EepromStore, ValidFactoryRecordAndIdLeaveEepromUnchanged) {
    test::TempEeprom file;
    const auto record = ModelData::factory("0001234567", kExistingId);
    file.patch(0, record.bytes());
    file.patch(4080, kExistingId);
    Bytes cash(48, 0);
    cash[0] = 3;
    file.patch(70, cash);
    const Bytes before = file.read();

    test::FixedRandom random;
    const EepromStore store(file.path(), random);
    CoreState state;
    const auto outcome = store.load(state);
    EXPECT_TRUE(outcome.modelPublished);
    EXPECT_FALSE(outcome.cleared);
    EXPECT_EQ(random.calls, 0);
    EXPECT_EQ(file.read(), before);
    EXPECT_EQ(state.deviceId(), kExistingId);
    EXPECT_EQ(*state.modelData(), record);
    EXPECT_EQ(state.modelAnswer(), record.answer());
}

TEST(EepromStore, MarkersDecideWhetherTheRecordIsKept) {
    const struct {
        const char* name;
        std::uint16_t marker1;
        std::uint32_t marker2;
        bool kept;
    } cases[] = {
        {"written markers", 2001, 65, true},
        {"stored zeros", 0, 0, true},
        {"marker 2 with top bit", 2001, 0x80000000u, true},
        {"other model code", 2002, 65, false},
        {"other marker 2", 2001, 66, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempEeprom file;
        const auto record = ModelData::factory("42", kExistingId);
        Bytes raw(record.bytes().begin(), record.bytes().end());
        le::store16(raw.data(), c.marker1);
        le::store32(raw.data() + 2, c.marker2);
        file.patch(0, raw);
        file.patch(4080, kExistingId);
        test::FixedRandom random;
        CoreState state;
        const auto outcome = EepromStore(file.path(), random).load(state);
        EXPECT_EQ(outcome.modelPublished, c.kept);
        EXPECT_EQ(outcome.cleared, !c.kept);
        EXPECT_EQ(allErased(file.read()), !c.kept);
        EXPECT_EQ(state.deviceId(), kExistingId);
        EXPECT_EQ(state.modelData()->factoryNumber(), c.kept ? "42" : "");
    }
}

TEST(EepromStore, ModelTextsReadFfAsZeroButMarkersAsStored) {
    test::TempEeprom file;
    Bytes raw(70, 0xFF);
    le::store16(raw.data(), 2001);
    raw[6] = '5';
    raw[7] = '5';
    file.patch(0, raw);
    test::FixedRandom random;
    const EepromStore store(file.path(), random);
    ModelData m;
    ASSERT_TRUE(store.readModel(m));
    EXPECT_EQ(m.factoryNumber(), "55");
    EXPECT_EQ(m.modelName(), "KALINOR ZX-7000");
    EXPECT_EQ(m.bytes()[65], 0x00);
    EXPECT_EQ(m.checksum(), 0xFFFFFFFFu);
    EXPECT_EQ(m.bytes()[2], 0xFF);
    EXPECT_EQ(m.bytes()[69], 0xFF);
}

TEST(EepromStore, RecordWritesLandAtTheirPlaces) {
    test::TempEeprom file;
    test::FixedRandom random;
    const EepromStore store(file.path(), random);
    const auto record = ModelData::factory("98765", kExistingId);
    ASSERT_TRUE(store.writeModel(record));
    CashStatusData cash;
    cash.addCashIn(12345);
    ASSERT_TRUE(store.writeCash(cash));
    Bytes all = file.read();
    ASSERT_EQ(all.size(), 4096u);
    EXPECT_EQ(slice(all, 0, 70), Bytes(record.bytes().begin(), record.bytes().end()));
    EXPECT_EQ(slice(all, 70, 48), Bytes(cash.bytes().begin(), cash.bytes().end()));
    EXPECT_EQ(all[118], 0xFF);
    ModelData back;
    ASSERT_TRUE(store.readModel(back));
    EXPECT_EQ(back, record);
    CashStatusData cashBack;
    ASSERT_TRUE(store.readCash(cashBack));
    EXPECT_EQ(cashBack, cash);
    ASSERT_TRUE(store.zeroCash());
    EXPECT_EQ(slice(file.read(), 70, 48), Bytes(48, 0));
    ASSERT_TRUE(store.readCash(cashBack));
    EXPECT_EQ(cashBack, CashStatusData{});
}

TEST(EepromStore, MissingOrShortFileFailsAndWritesNothing) {
    test::FixedRandom random;
    const std::string missing = "/tmp/kkt-no-such-eeprom-" + std::to_string(::getpid());
    const EepromStore none(missing, random);
    ModelData m;
    CashStatusData c;
    CoreState state;
    EXPECT_FALSE(none.readModel(m));
    EXPECT_FALSE(none.writeModel(m));
    EXPECT_FALSE(none.readCash(c));
    EXPECT_FALSE(none.writeCash(c));
    EXPECT_FALSE(none.zeroCash());
    EXPECT_FALSE(none.ensureDeviceId());
    EXPECT_FALSE(none.clear());
    EXPECT_FALSE(none.dump());
    const auto outcome = none.load(state);
    EXPECT_FALSE(outcome.deviceId);
    EXPECT_FALSE(outcome.modelRead);
    EXPECT_TRUE(state.deviceId().empty());
    EXPECT_FALSE(std::ifstream(missing).good());

    // A file too short for the device id.
    test::TempEeprom shortFile(100);
    EXPECT_FALSE(EepromStore(shortFile.path(), random).ensureDeviceId());
    EXPECT_EQ(random.calls, 0);
}

TEST(EepromStore, DumpRendersSixtyFourRowsOfEightGroups) {
    test::TempEeprom file;
    Bytes head(64);
    for (std::size_t i = 0; i < head.size(); ++i)
        head[i] = static_cast<std::uint8_t>(i * 4 + 3);
    file.patch(0, head);
    file.patch(4090, Bytes{0x00, 0xAB});
    test::FixedRandom random;
    const auto rows = EepromStore(file.path(), random).dump();
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 64u);
    EXPECT_EQ(rows->at(0),
              "03070B0F13171B1F  23272B2F33373B3F  43474B4F53575B5F  63676B6F73777B7F  "
              "83878B8F93979B9F  A3A7ABAFB3B7BBBF  C3C7CBCFD3D7DBDF  E3E7EBEFF3F7FBFF");
    EXPECT_EQ(rows->at(63).substr(142 - 34), "FFFFFFFFFFFFFFFF  FFFF00ABFFFFFFFF");
    for (const auto& row : *rows)
        EXPECT_EQ(row.size(), 8u * 16 + 7 * 2);
}

TEST(ServiceModes, ClearOnABoardWithDataThenDump) {
    test::TempEeprom file(4096, 0x00);
    file.patch(0, ModelData::factory("1234", kExistingId).bytes());
    std::ostringstream out;
    std::ostringstream err;
    const char* args[] = {"kkt-core", "-c", "ignored"};
    ServiceBoard board;
    board.eeprom = file.path();
    EXPECT_EQ(ServiceModes::run(args, out, err, board), 0);
    EXPECT_TRUE(allErased(file.read()));
    const std::string erasedRow =
        "FFFFFFFFFFFFFFFF  FFFFFFFFFFFFFFFF  FFFFFFFFFFFFFFFF  FFFFFFFFFFFFFFFF  "
        "FFFFFFFFFFFFFFFF  FFFFFFFFFFFFFFFF  FFFFFFFFFFFFFFFF  FFFFFFFFFFFFFFFF\n";
    std::string expected = "1";
    for (int i = 0; i < 64; ++i)
        expected += erasedRow;
    EXPECT_EQ(out.str(), expected);
    EXPECT_TRUE(err.str().empty());
}

TEST(ServiceModes, DumpLeavesTheEepromAlone) {
    test::TempEeprom file(4096, 0x5A);
    const Bytes before = file.read();
    std::ostringstream out;
    std::ostringstream err;
    const char* args[] = {"kkt-core", "-d"};
    ServiceBoard board;
    board.eeprom = file.path();
    EXPECT_EQ(ServiceModes::run(args, out, err, board), 0);
    EXPECT_EQ(file.read(), before);
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, 20), "15A5A5A5A5A5A5A5A  5");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 64);
}

TEST(ServiceModes, EepromToolWithoutEepromFailsLoudly) {
    std::ostringstream out;
    std::ostringstream err;
    const char* args[] = {"kkt-core", "-d"};
    ServiceBoard board;
    board.eeprom = "/tmp/kkt-no-such-eeprom-" + std::to_string(::getpid());
    EXPECT_NE(ServiceModes::run(args, out, err, board), 0);
    EXPECT_EQ(out.str(), "1");
    EXPECT_FALSE(err.str().empty());
}

TEST(ServiceModes, OnlyTheFirstArgumentSelectsTheMode) {
    using Mode = ServiceModes::Mode;
    const struct {
        std::vector<const char*> args;
        Mode mode;
    } cases[] = {
        {{"kkt-core"}, Mode::Normal},           {{"kkt-core", "-c"}, Mode::ClearAndDump},
        {{"kkt-core", "-d", "-c"}, Mode::Dump}, {{"kkt-core", "-s"}, Mode::LinkAlone},
        {{"kkt-core", "-x"}, Mode::Normal},     {{"kkt-core", "-cd"}, Mode::Normal},
        {{"kkt-core", ""}, Mode::Normal},       {{"kkt-core", "x", "-s"}, Mode::Normal},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ServiceModes::modeFor(c.args), c.mode);
    EXPECT_EQ(ServiceModes::innLine(), "1");
}
