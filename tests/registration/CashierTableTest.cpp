#include "registration/CashierTable.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "primitives/Cp866.hpp"
#include "registration/ResultCodes.hpp"
#include "support/TempDir.hpp"

namespace kkt {
namespace {

using namespace kkt::literals;

Bytes prefix(std::uint8_t number, std::uint32_t password, Bytes rest = {}) {
    ByteWriter w;
    w.u8(number).u32(password).bytes(rest);
    return w.take();
}

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class CashierTableTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string path = dir.file("CASHIERS");
};

TEST_F(CashierTableTest, FreshFileHoldsAdministratorAndEmptyRecords) {
    CashierTable table(path);
    ASSERT_TRUE(table.ensureFile());
    const Bytes all = fileBytes(path);
    ASSERT_EQ(all.size(), 6900u);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    for (std::uint8_t n = 1; n <= 19; ++n) {
        const ByteView r(all.data() + (n - 1) * 345, 345);
        EXPECT_EQ(r[0], n);
        EXPECT_TRUE(std::all_of(r.begin() + 1, r.end(), [](auto b) { return b == 0; })) << int(n);
    }
    const auto admin = Cashier::fromRecord(ByteView(all.data() + 19 * 345, 345));
    ASSERT_TRUE(admin);
    EXPECT_EQ(admin->number, 20);
    EXPECT_EQ(admin->rights, 0x1FFFu);
    EXPECT_EQ(admin->name, "СИС. АДМИНИСТРАТОР"_cp866);
    EXPECT_EQ(admin->login, "su");
    EXPECT_EQ(admin->password, 30u);
    EXPECT_EQ(admin->passwordText, "30");

    const Bytes data = prefix(20, 30, {7, 8});
    const auto op = table.check(data);
    ASSERT_EQ(op.code, 0);
    EXPECT_EQ(op.cashier.rights, 0x1FFFu);
    EXPECT_EQ(Bytes(op.data.begin(), op.data.end()), (Bytes{7, 8}));
}

TEST_F(CashierTableTest, OperatorCheckOutcomes) {
    CashierTable table(path);
    ASSERT_TRUE(table.ensureFile());
    struct Case {
        Bytes data;
        std::uint16_t code;
        std::uint32_t rights;
    };
    const Case cases[] = {
        {{20, 30, 0, 0}, rc::kOperatorMalformed, 0},  // 4-byte prefix
        {prefix(0, 30), rc::kOperatorMalformed, 0},   // number 0
        {prefix(21, 30), rc::kOperatorMalformed, 0},  // number 21
        {prefix(20, 31), rc::kOperatorRefused, 0},    // wrong password
        {prefix(5, 0), rc::kOperatorRefused, 0},      // all-zero record
        {prefix(255, 30), rc::kOperatorRefused, 0},   // 255 without the service password
        {prefix(255, 0x5B1C0E47), rc::kOk, 0x0806},   // the service operator
        {prefix(20, 30), rc::kOk, 0x1FFF},
    };
    for (const auto& c : cases) {
        const auto op = table.check(c.data);
        EXPECT_EQ(op.code, c.code);
        if (c.code == rc::kOk) {
            EXPECT_EQ(op.cashier.rights, c.rights);
        } else {
            EXPECT_FALSE(op.hasRight(Cashier::kRightArchive));
            EXPECT_TRUE(op.data.empty());
        }
    }
    const Bytes service = prefix(255, 0x5B1C0E47);
    const auto op = table.check(service);
    EXPECT_EQ(op.cashier.number, 1);
    EXPECT_EQ(op.cashier.name, "SERVICE");
    EXPECT_EQ(op.cashier.passwordText, std::to_string(0x5B1C0E47u));
}

TEST_F(CashierTableTest, WriteIsPositionedAndReplacesTheCacheEntry) {
    CashierTable table(path);
    ASSERT_TRUE(table.ensureFile());
    const Bytes before = fileBytes(path);

    // The check caches record 3 (all zero, so it fails).
    EXPECT_EQ(table.check(prefix(3, 1234)).code, rc::kOperatorRefused);

    Cashier c;
    c.number = 3;
    c.rights = Cashier::kRightReceipt;
    c.password = 1234;
    c.name = "ИВАНОВ"_cp866;
    c.login = "ivanov";
    c.passwordText = "1234";
    c.inn = "500100732259";
    ASSERT_TRUE(table.write(c));

    // The cache sees the new record at once.
    const auto op = table.check(prefix(3, 1234));
    ASSERT_EQ(op.code, rc::kOk);
    EXPECT_EQ(op.cashier, c);

    // Only the bytes of record 3 changed.
    const Bytes after = fileBytes(path);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i < 2 * 345 || i >= 3 * 345) {
            ASSERT_EQ(after[i], before[i]) << i;
        }
    }
    EXPECT_EQ(CashierTable(path).read(3), c);
}

TEST_F(CashierTableTest, ShortFileIsCompletedKeepingItsWholeRecords) {
    Cashier c = Cashier::defaultRecord(1);
    c.rights = 1;
    c.password = 77;
    c.name = "A";
    c.login = "a";
    c.passwordText = "77";
    Bytes partial = c.toRecord();
    partial.resize(345 + 100, 0xAB);  // record 2 cut short by a power loss
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(partial.data()), std::streamsize(partial.size()));
    }
    CashierTable table(path);
    ASSERT_TRUE(table.ensureFile());
    EXPECT_EQ(fileBytes(path).size(), 6900u);
    EXPECT_EQ(table.read(1), c);
    EXPECT_EQ(table.read(2), Cashier::defaultRecord(2));
    EXPECT_EQ(table.check(prefix(20, 30)).code, rc::kOk);
}

TEST_F(CashierTableTest, RecordTextsNeverRunPastTheirFields) {
    Bytes record(345, 'x');
    record[0] = 4;
    const auto c = Cashier::fromRecord(record);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->name.size(), 255u);
    EXPECT_EQ(c->login.size(), 31u);
    EXPECT_EQ(c->passwordText.size(), 31u);
    EXPECT_EQ(c->inn.size(), 12u);
    EXPECT_FALSE(Cashier::fromRecord(ByteView(record.data(), 344)));

    Cashier longer = *c;
    longer.name.append(100, 'y');
    EXPECT_EQ(longer.toRecord().size(), 345u);
    EXPECT_EQ(Cashier::fromRecord(longer.toRecord())->name, c->name);
}

TEST_F(CashierTableTest, MissingOrMisplacedRecordsAreNotFound) {
    CashierTable missing(dir.file("none"));
    EXPECT_FALSE(missing.read(1));
    EXPECT_EQ(missing.check(prefix(20, 30)).code, rc::kOperatorRefused);
    EXPECT_FALSE(missing.write(Cashier::defaultRecord(2)));

    CashierTable table(path);
    ASSERT_TRUE(table.ensureFile());
    EXPECT_FALSE(table.read(0));
    EXPECT_FALSE(table.read(21));
    // A record whose number byte is not its place is corrupt.
    Cashier wrong = Cashier::defaultRecord(20);
    wrong.number = 7;
    Bytes all = fileBytes(path);
    const Bytes r = wrong.toRecord();
    std::copy(r.begin(), r.end(), all.begin() + 19 * 345);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(all.data()), std::streamsize(all.size()));
    }
    CashierTable reread(path);
    EXPECT_FALSE(reread.read(20));
    EXPECT_EQ(reread.check(prefix(20, 30)).code, rc::kOperatorRefused);
}

}  // namespace
}  // namespace kkt
