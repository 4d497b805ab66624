// The core worker against the FS emulator and the printer emulator on pseudo-terminals: the
// start-up sequence with its clock rules and report, the dispatch, the FS pass-through and the
// cash commands with their printouts.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <limits>

#include "commands/BuildTime.hpp"
#include "core/CoreTestSupport.hpp"
#include "core/CoreWorker.hpp"
#include "fs/FsFullStatus.hpp"
#include "primitives/Cp866.hpp"
#include "primitives/Crc.hpp"
#include "primitives/Tlv.hpp"
#include "registration/CashStatusData.hpp"
#include "registration/CoreState.hpp"
#include "registration/ModelData.hpp"
#include "registration/RegData.hpp"
#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

#if defined(KKT_FS_EMULATOR) && defined(KKT_PRINTER_EMULATOR)
#include "fs-emulator/FsEmulator.hpp"
#include "fs-emulator/FsState.hpp"
#define KKT_HAVE_EMULATORS 1
#endif

namespace kkt {
namespace {

using namespace kkt::literals;

#ifdef KKT_HAVE_EMULATORS

const std::string kInn = "7707083893";
const std::string kFactory = "0000000000001234";
const std::string kFsNumber = "9999078900012345";

std::string validRn(const std::string& order) {
    const std::string check =
        order + "00" + kInn + std::string(20 - kFactory.size(), '0') + kFactory;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06u", unsigned(Crc16::compute(asBytes(check))));
    return order + digits;
}

Bytes withOperator(std::uint8_t number, std::uint32_t password, ByteView rest = {}) {
    ByteWriter w;
    w.u8(number).u32(password).bytes(rest);
    return w.take();
}
Bytes admin(ByteView rest = {}) {
    return withOperator(20, 30, rest);
}
Bytes amount(std::int64_t kopecks) {
    ByteWriter w;
    w.u64(static_cast<std::uint64_t>(kopecks));
    return w.take();
}

// Local time of the given fields, as the FS date-time field means them.
std::time_t localTime(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// An FS registered on the given date-time, optionally with an open shift, as a state file the
// emulator starts from.
// With receiptCash, the open shift holds one income receipt paid with that much cash.
void writeFiscalFs(const std::string& path, sim::FsDateTime registered, bool openShift,
                   std::uint64_t receiptCash = 0) {
    const std::array<std::uint8_t, 16> key{1, 2, 3};
    sim::FsEmulator fs(sim::FsEmulator::freshState(kFsNumber, key, {24, 11, 1, 0, 0}));
    ASSERT_EQ(fs.handle(0xA2, Bytes{0, 4}).code, 0);
    const TlvList tlv = {
        Tlv().setText(1048, "ООО РОМАШКА"_cp866),
        Tlv().setText(1009, "Г. МОСКВА, УЛ. ЛЕСНАЯ, 1"_cp866),
        Tlv().setText(1187, "МАГАЗИН"_cp866),
        Tlv().setText(1013, kFactory),
        Tlv().setText(1188, "012"),
        Tlv().setByte(1189, 4),
    };
    ASSERT_EQ(fs.handle(0x07, Tlv::encodeList(tlv)).code, 0);
    Bytes record;
    registered.append(record);
    const std::string inn12 = kInn + "  ";
    const std::string rn20 = validRn("0000000001") + "    ";
    record.insert(record.end(), inn12.begin(), inn12.end());
    record.insert(record.end(), rn20.begin(), rn20.end());
    record.push_back(0x01);  // tax systems
    record.push_back(0x00);  // modes
    record.push_back(0x00);  // more modes
    const std::string ofd = "7704211201  ";
    record.insert(record.end(), ofd.begin(), ofd.end());
    ASSERT_EQ(fs.handle(0xA3, record).code, 0);
    if (openShift) {
        Bytes at;
        registered.append(at);
        ASSERT_EQ(fs.handle(0x11, at).code, 0);
        ASSERT_EQ(fs.handle(0x12, {}).code, 0);
        if (receiptCash > 0) {
            ASSERT_EQ(fs.handle(0x15, at).code, 0);
            ASSERT_EQ(fs.handle(0x07, Tlv().setVln(1031, receiptCash).encode()).code, 0);
            Bytes close = at;
            close.push_back(1);  // income
            for (int i = 0; i < 5; ++i)
                close.push_back(std::uint8_t(receiptCash >> (8 * i)));
            ASSERT_EQ(fs.handle(0x16, close).code, 0);
        }
    }
    ASSERT_TRUE(sim::FsStateFile(path).save(fs.state()));
}

class CoreWorkerSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        std::ofstream(eepromPath(), std::ios::binary) << std::string(4096, '\xFF');
    }

    std::string eepromPath() const { return dir.file("eeprom"); }
    std::string paperPath() const { return dir.file("paper") + "/paper.txt"; }
    std::string paper() const { return test::readFile(paperPath()); }

    // Starts the emulators (a fresh FS unless a state file was written) and the core worker.
    void start(bool withPrinter = true) {
        std::vector<std::string> fsArgs = {KKT_FS_EMULATOR, "--pty", dir.file("fs"), "--state",
                                           dir.file("fs.state")};
        if (!std::filesystem::exists(dir.file("fs.state")))
            fsArgs.push_back("--fresh");
        fs = std::make_unique<test::SimProcess>(fsArgs, dir.file("fs"));
        ASSERT_TRUE(fs->ready());
        if (withPrinter) {
            printer = std::make_unique<test::SimProcess>(
                std::vector<std::string>{KKT_PRINTER_EMULATOR, "--pty", dir.file("printer"),
                                         "--out", dir.file("paper")},
                dir.file("printer"));
            ASSERT_TRUE(printer->ready());
        }
        CoreWorker::Paths p;
        p.fsPort = dir.file("fs");
        p.printerPort = dir.file("printer");
        p.printerSettings = dir.file("PRINTER_SETTINGS");
        p.frSettings = dir.file("FR_SETTINGS");
        p.cashiers = dir.file("CASHIERS");
        p.eeprom = eepromPath();
        worker = std::make_unique<CoreWorker>(p, state, clock, shell, random, 3000);
        worker->initialise();
    }

    // Waits until the paper holds the text (UTF-8).
    bool printed(const std::string& utf8) {
        return test::waitFor([&] { return paper().find(utf8) != std::string::npos; });
    }

    CoreApiResult run(std::uint16_t code, Bytes data = {}, std::uint32_t id = 77) {
        return worker->dispatch(CoreTransaction{code, id, std::move(data)});
    }

    std::int64_t drawer() {
        const auto r = run(418);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.data.size(), 48u);
        return r.data.size() == 48 ? CashStatusData(r.data).cash() : -1;
    }

    test::TempDir dir;
    test::WallClock clock{buildTime() + 86400};
    test::RecordingShell shell;
    test::FixedRandom random;
    CoreState state;
    std::unique_ptr<test::SimProcess> fs;
    std::unique_ptr<test::SimProcess> printer;
    std::unique_ptr<CoreWorker> worker;
};

TEST_F(CoreWorkerSimTest, BlankFsStartSetsAClockBeforeTheBuildTimeToTheBuildTime) {
    clock.setWall(buildTime() - 86400 * 30);
    start();
    const auto status = state.fsStatus();
    ASSERT_TRUE(status && status->status);
    EXPECT_EQ(status->status->phase, 1);
    EXPECT_FALSE(state.regData());
    ASSERT_EQ(shell.commands().size(), 1u);
    EXPECT_EQ(shell.commands()[0], "date -s '2024-12-05 15:46:18' && hwclock -w");

    // The start-up report: the logo, the model and version, the factory-number line.
    EXPECT_TRUE(printed("KALINOR ZX-7000 012"));
    EXPECT_TRUE(printed("[cut]"));
    const std::string text = paper();
    EXPECT_NE(text.find("[image 48x50]"), std::string::npos) << text;
    EXPECT_NE(text.find("ЗН"), std::string::npos);
    EXPECT_EQ(text.find("ИНН"), std::string::npos);
}

TEST_F(CoreWorkerSimTest, FiscalFsStartFollowsTheLastDocumentAndReadsTheRegistration) {
    writeFiscalFs(dir.file("fs.state"), {26, 3, 1, 10, 30}, false);
    clock.setWall(localTime(2026, 2, 1, 9, 0));  // after the build time, before the document
    start();
    ASSERT_EQ(shell.commands().size(), 1u);
    EXPECT_EQ(shell.commands()[0], "date -s '2026-03-01 10:30:00' && hwclock -w");

    const auto reg = state.regData();
    ASSERT_TRUE(reg);
    EXPECT_TRUE(reg->isRegistered());
    EXPECT_EQ(reg->userInn.substr(0, 10), kInn);
    EXPECT_EQ(reg->factoryNumber, kFactory);
    EXPECT_EQ(reg->fsNumber, kFsNumber);
    EXPECT_EQ(reg->userName, "ООО РОМАШКА"_cp866);

    EXPECT_TRUE(printed("ООО РОМАШКА"));
    EXPECT_TRUE(printed("РН ККТ"));
    EXPECT_NE(paper().find(kInn), std::string::npos);
}

TEST_F(CoreWorkerSimTest, DispatchRefusesUnknownCodesOnPaperAndPassesFiscalCodesToTheFs) {
    start();
    EXPECT_EQ(run(600, {}, 4242).code, 266);
    EXPECT_TRUE(printed("600 - 4242"));

    // A fiscal code without a handler of its own reaches the FS unchanged.
    const auto status = run(0x30);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.data.size(), 30u);
    EXPECT_EQ(status.data[0], 1);  // phase 1
    // 26 and 255 are no FS commands: the FS request check refuses them before the line.
    EXPECT_EQ(run(26, {1, 2}).code, 1534);
    EXPECT_EQ(run(255).code, 1534);
    // An FS error comes back as 0x0500 + error: shift state readable, begin receipt refused.
    EXPECT_EQ(run(0x10).code, 0);
    EXPECT_EQ(run(0x15, {26, 1, 1, 10, 0}).code & 0xFF00, 0x0500);
}

TEST_F(CoreWorkerSimTest, PrintCommandsReachThePaper) {
    start();
    ASSERT_TRUE(printed("[cut]"));
    const std::string before = paper();
    EXPECT_EQ(run(451, {0, 0, 0, 0}).code, 0);  // exactly four bytes: one empty line
    ASSERT_TRUE(test::waitFor([&] { return paper().size() > before.size(); }));
    EXPECT_EQ(paper().substr(before.size()), "\n");

    EXPECT_EQ(run(451, Bytes{0, 1, 2, 0x10, 'H', 'I'}).code, 0);
    EXPECT_TRUE(printed("HI"));
    EXPECT_EQ(run(456, Bytes{0x10, 0xEE, 'Q', 'R', '1'}).code, 0);
    EXPECT_TRUE(printed("[qr] QR1"));
    EXPECT_EQ(run(454, Bytes{8, 0, 1, 0, 0x01, 0xFF, 0, 0, 0}).code, 0);  // 8 x 1 dots
    EXPECT_TRUE(printed("[image 8x1]"));
    EXPECT_EQ(run(455, Bytes{4, 0, '1', '2', ',', '5'}).code, 0);
    EXPECT_TRUE(printed("12.5"));
    EXPECT_EQ(run(455, Bytes{9, 0, '1', '2', '3'}).code, 1003);  // no such barcode type
    EXPECT_EQ(run(448).code, 0);
}

TEST_F(CoreWorkerSimTest, CashInAndOutKeepTheDrawerFigure) {
    // The open shift took 25.00 in cash: the drawer figure counts the current shift.
    writeFiscalFs(dir.file("fs.state"), {26, 3, 1, 10, 30}, true, 2500);
    clock.setWall(localTime(2026, 3, 1, 11, 0));
    start();
    ASSERT_TRUE(shell.commands().empty());
    EXPECT_EQ(drawer(), 2500);
    EXPECT_EQ(run(420, admin(amount(2501))).code, 296);
    EXPECT_EQ(run(420, admin(amount(2500))).code, 0);  // exactly the drawer
    EXPECT_EQ(drawer(), 0);

    EXPECT_EQ(run(419, admin(amount(150000))).code, 0);
    EXPECT_TRUE(printed("ВНЕСЕНИЕ"));
    EXPECT_TRUE(printed("1500.00"));
    EXPECT_TRUE(printed("НАЛИЧНОСТЬ В КАССЕ"));
    EXPECT_NE(paper().find("ФН " + kFsNumber), std::string::npos);
    EXPECT_EQ(drawer(), 150000);

    EXPECT_EQ(run(420, admin(amount(150001))).code, 296);
    EXPECT_EQ(run(420, admin(amount(150000))).code, 0);
    EXPECT_TRUE(printed("ВЫПЛАТА"));
    EXPECT_EQ(drawer(), 0);

    const auto cash = state.cashStatus();
    EXPECT_EQ(cash->totalCashInCount(), 1);
    EXPECT_EQ(cash->totalCashOutCount(), 2);
    EXPECT_EQ(cash->shiftCashOutCount(), 2);
    EXPECT_EQ(cash->totalCashInSum(), 150000u);
    EXPECT_EQ(cash->totalCashOutSum(), 152500u);
    // The record is in the EEPROM.
    EXPECT_EQ(test::readFile(eepromPath()).substr(70, 48), asString(cash->bytes()));
}

TEST_F(CoreWorkerSimTest, CashFigureNeverGoesBelowZeroAndNeedsAnOpenShift) {
    writeFiscalFs(dir.file("fs.state"), {26, 3, 1, 10, 30}, false);
    clock.setWall(localTime(2026, 3, 1, 11, 0));
    // A factory record (else the start clears the EEPROM) and a cash record whose cash-outs
    // exceed everything that came in.
    std::string eeprom = test::readFile(eepromPath());
    const Bytes id(16, 0x42);
    eeprom.replace(0, 70, asString(ModelData::factory("1234", id).bytes()));
    CashStatusData record;
    record.addCashOut(500);
    eeprom.replace(70, 48, asString(record.bytes()));
    eeprom.replace(4080, 16, asString(id));
    std::ofstream(eepromPath(), std::ios::binary) << eeprom;
    start();

    EXPECT_EQ(drawer(), 0);
    EXPECT_EQ(run(419, admin(amount(100))).code, 25);
    EXPECT_EQ(state.cashStatus()->totalCashOutSum(), 500u);

    // Sums beyond the signed range: the figure saturates instead of overflowing.
    CashStatusData huge;
    huge.addCashIn(std::uint64_t{1} << 63);
    huge.addCashIn(std::uint64_t{1} << 63);
    huge.addCashIn(7);
    ASSERT_EQ(huge.totalCashInSum(), 7u);  // the unsigned sum wrapped
    huge.addCashIn(std::numeric_limits<std::uint64_t>::max() - 7);
    ASSERT_TRUE(worker->eeprom().writeCash(huge));
    EXPECT_EQ(drawer(), std::numeric_limits<std::int64_t>::max());
}

TEST_F(CoreWorkerSimTest, StartsWithoutAPrinter) {
    start(false);
    EXPECT_EQ(state.fsStatus()->status->phase, 1);
    EXPECT_EQ(run(448).code, 976);
    EXPECT_EQ(run(600).code, 266);
    EXPECT_EQ(run(0x30).code, 0);
}

#else

TEST(CoreWorkerSimTest, NeedsTheEmulators) {
    GTEST_SKIP() << "built without the sim tools";
}

#endif

}  // namespace
}  // namespace kkt
