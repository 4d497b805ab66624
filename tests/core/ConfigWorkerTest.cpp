// The configuration commands (cashiers, time, register and printer settings) through the core
// worker's dispatch; they need neither the FS nor the printer.

#include "core/ConfigWorker.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "commands/BuildTime.hpp"
#include "core/CoreTestSupport.hpp"
#include "core/CoreWorker.hpp"
#include "primitives/Cp866.hpp"
#include "primitives/Decimal.hpp"
#include "printer/LayoutWord.hpp"
#include "registration/CoreState.hpp"
#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

namespace kkt {
namespace {

using namespace kkt::literals;

constexpr std::uint32_t kServicePassword = 0x5B1C0E47;

Bytes withOperator(std::uint8_t number, std::uint32_t password, ByteView rest = {}) {
    ByteWriter w;
    w.u8(number).u32(password).bytes(rest);
    return w.take();
}
Bytes admin(ByteView rest = {}) {
    return withOperator(20, 30, rest);
}
Bytes service(ByteView rest = {}) {
    return withOperator(255, kServicePassword, rest);
}
Bytes cat(Bytes a, ByteView b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes u32(std::uint32_t v) {
    ByteWriter w;
    w.u32(v);
    return w.take();
}

Cashier cashier(std::uint8_t n, std::uint32_t rights, std::uint32_t password) {
    Cashier c;
    c.number = n;
    c.rights = rights;
    c.password = password;
    c.name = "КАССИР"_cp866;
    c.login = "k" + std::to_string(n);
    c.passwordText = std::to_string(password);
    return c;
}

class ConfigWorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        std::ofstream(dir.file("eeprom"), std::ios::binary) << std::string(4096, '\xFF');
        CoreWorker::Paths p;
        p.fsPort = dir.file("no-fs");
        p.printerPort = dir.file("no-printer");
        p.printerSettings = dir.file("PRINTER_SETTINGS");
        p.frSettings = dir.file("FR_SETTINGS");
        p.cashiers = dir.file("CASHIERS");
        p.eeprom = dir.file("eeprom");
        worker = std::make_unique<CoreWorker>(p, state, clock, shell, random);
        worker->initialise();
    }
    void TearDown() override { LayoutWord::setCurrentPaperWidth(60); }

    CoreApiResult run(std::uint16_t code, Bytes data = {}) {
        return worker->dispatch(CoreTransaction{code, 5, std::move(data)});
    }

    test::TempDir dir;
    test::FakeClock clock{buildTime() + 3600};
    test::RecordingShell shell;
    test::FixedRandom random;
    CoreState state;
    std::unique_ptr<CoreWorker> worker;
};

TEST_F(ConfigWorkerTest, ReadCashierTestsTheRightBeforeTheOperator) {
    struct Case {
        Bytes data;
        std::uint16_t code;
    };
    const Case cases[] = {
        {withOperator(20, 31, Bytes{1, 20}), 14},  // wrong password: no rights
        {withOperator(21, 30, Bytes{1, 20}), 14},  // number out of range: no rights either
        {Bytes{20, 30, 0}, 14},                    // short prefix
        {admin(Bytes{1}), 275},                    // no cashier number
        {admin(Bytes{2, 20}), 276},                // mode 2: right held, mode refused
        {admin(Bytes{4, 20}), 276},
        {service(Bytes{2, 20}), 14},  // the service operator has 0x0800 but not 0x1000
        {admin(Bytes{1, 21}), 273},
        {admin(Bytes{1, 0}), 273},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(257, c.data).code, c.code);

    const auto read = run(257, service(Bytes{1, 20}));
    ASSERT_EQ(read.code, 0);
    ASSERT_EQ(read.data.size(), 345u);
    const auto record = Cashier::fromRecord(read.data);
    EXPECT_EQ(record->name, "СИС. АДМИНИСТРАТОР"_cp866);
    EXPECT_EQ(record->rights, 0x1FFFu);
}

TEST_F(ConfigWorkerTest, WriteCashierRules) {
    const Bytes record3 = cashier(3, Cashier::kRightReceipt, 4444).toRecord();
    // The same request that 257 answers 14 gets the operator's own error here.
    EXPECT_EQ(run(258, cat(withOperator(20, 31, Bytes{1}), record3)).code, 274);
    EXPECT_EQ(run(258, cat(withOperator(21, 30, Bytes{1}), record3)).code, 275);
    EXPECT_EQ(run(258, admin()).code, 275);
    EXPECT_EQ(run(258, cat(admin(Bytes{2}), record3)).code, 276);
    EXPECT_EQ(run(258, cat(service(Bytes{2}), record3)).code, 14);

    // A record of the wrong size or number: 278, and the data after the mode comes back.
    const Bytes shortRecord(record3.begin(), record3.end() - 1);
    const auto bad = run(258, cat(admin(Bytes{1}), shortRecord));
    EXPECT_EQ(bad.code, 278);
    EXPECT_EQ(bad.data, shortRecord);
    Bytes number21 = record3;
    number21[0] = 21;
    EXPECT_EQ(run(258, cat(admin(Bytes{1}), number21)).code, 278);

    const auto written = run(258, cat(admin(Bytes{1}), record3));
    EXPECT_EQ(written.code, 0);
    EXPECT_EQ(written.data, record3);
    // The new cashier passes the operator check at once (the cache took the record).
    const auto again = run(257, withOperator(3, 4444, Bytes{1, 3}));
    EXPECT_EQ(again.code, 14);  // cashier 3 has no cashier-record right
    EXPECT_EQ(run(260, withOperator(3, 4444, u32(0))).code, 14);
    EXPECT_EQ(run(257, admin(Bytes{1, 3})).data, record3);

    // Only the administrator rewrites record 20; an empty name and a zero password keep its own.
    Cashier newAdmin = cashier(20, 1, 0);
    newAdmin.name.clear();
    const Bytes adminRecord = newAdmin.toRecord();
    EXPECT_EQ(run(258, cat(service(Bytes{1}), adminRecord)).code, 14);
    const Bytes boss = cashier(4, 0x0800, 77).toRecord();
    ASSERT_EQ(run(258, cat(admin(Bytes{1}), boss)).code, 0);
    EXPECT_EQ(run(258, cat(withOperator(4, 77, Bytes{1}), adminRecord)).code, 14);
    EXPECT_EQ(run(258, cat(admin(Bytes{1}), adminRecord)).code, 0);
    const auto stored = Cashier::fromRecord(run(257, admin(Bytes{1, 20})).data);
    EXPECT_EQ(stored->name, "СИС. АДМИНИСТРАТОР"_cp866);
    EXPECT_EQ(stored->password, 30u);
    EXPECT_EQ(stored->rights, 0x1FFFu);
    EXPECT_EQ(stored->login, "k20");
}

TEST_F(ConfigWorkerTest, SetClockChecksLengthAndPlausibility) {
    const std::uint32_t good = static_cast<std::uint32_t>(buildTime() + 7200);
    struct Case {
        Bytes data;
        std::uint16_t code;
    };
    const Case cases[] = {
        {admin(Bytes{1, 2, 3}), 278},
        {admin(Bytes{1, 2, 3, 4, 5}), 278},
        {admin(u32(static_cast<std::uint32_t>(buildTime() - 1))), 279},
        {withOperator(20, 29, u32(good)), 274},
        {withOperator(3, 0, u32(good)), 274},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(260, c.data).code, c.code);
    EXPECT_TRUE(shell.commands().empty());

    const auto set = run(260, service(u32(good)));  // the service operator holds 0x0004
    EXPECT_EQ(set.code, 0);
    EXPECT_EQ(set.data, u32(good));
    const auto commands = shell.commands();
    ASSERT_EQ(commands.size(), 1u);
    char expected[64];
    const std::time_t t = good;
    std::tm local{};
    ::localtime_r(&t, &local);
    std::strftime(expected, sizeof expected, "date -s '%Y-%m-%d %H:%M:%S' && hwclock -w", &local);
    EXPECT_EQ(commands[0], expected);
}

TEST_F(ConfigWorkerTest, RegisterSettingsDriveTheDecimalRounding) {
    EXPECT_EQ(run(320, admin(Bytes{1})).data, Bytes{0});
    EXPECT_EQ(run(320, admin(Bytes{2})).code, 276);
    EXPECT_EQ(run(320, admin()).code, 278);
    EXPECT_EQ(run(321, admin(Bytes{1})).code, 278);
    EXPECT_EQ(run(321, admin(Bytes{2, 1})).code, 276);
    EXPECT_EQ(run(321, withOperator(20, 1, Bytes{1, 1})).code, 274);

    const Decimal value(1000, 12345);
    EXPECT_EQ(value.rescaled(100).raw(), 1235);  // half up
    EXPECT_EQ(run(321, service(Bytes{1, 1})).code, 0);
    EXPECT_EQ(run(320, service(Bytes{1})).data, Bytes{1});
    EXPECT_EQ(value.rescaled(100).raw(), 1234);  // half to even
    EXPECT_EQ(test::readFile(dir.file("FR_SETTINGS")), std::string(1, '\x01'));
}

TEST_F(ConfigWorkerTest, PrinterSettingsAreReadAndWritten) {
    EXPECT_EQ(run(449, admin(Bytes{1})).data, Bytes{60});
    EXPECT_EQ(run(449, admin(Bytes{2})).data, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(run(449, admin(Bytes{3})).code, 276);
    EXPECT_EQ(run(449, admin()).code, 278);
    EXPECT_EQ(run(450, admin(Bytes{1})).code, 278);
    EXPECT_EQ(run(450, admin(Bytes{3, 1})).code, 276);

    EXPECT_EQ(run(450, service(Bytes{1, 80})).code, 0);
    EXPECT_EQ(LayoutWord::currentPaperWidth(), 80);
    EXPECT_EQ(run(450, admin(Bytes{2, 1, 2, 3, 4, 5})).code, 0);
    EXPECT_EQ(run(449, admin(Bytes{1})).data, Bytes{80});
    EXPECT_EQ(run(449, admin(Bytes{2})).data, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(test::readFile(dir.file("PRINTER_SETTINGS")), std::string("\x50\x01\x02\x03\x04", 5));
}

}  // namespace
}  // namespace kkt
