// A whole fiscal life of one FS through the core's FsDriver over a pseudo-terminal, and the same
// FS read back after the emulator restarted from its state file.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "FsEmulatorTestSupport.hpp"
#include "FsServerTestSupport.hpp"
#include "fs/FsCountersBinary.hpp"
#include "fs/FsDriver.hpp"
#include "fs/FsFullStatus.hpp"
#include "fs/FsLifetime.hpp"
#include "fs/FsResult.hpp"
#include "fs/FsShiftState.hpp"
#include "fs/FsStatus.hpp"

namespace kkt::sim {
namespace {

using namespace kkt::sim::test;

constexpr std::uint32_t kCapMs = 3000;

std::time_t localTime(int y, int mo, int d, int h, int mi) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// What the life wrote, to be read back after the restart.
struct Archive {
    std::map<std::uint32_t, Bytes> documents;  // 0x40 answers
    std::uint16_t receiptType = 0;
    TlvList receiptTlv;
    TlvList parameters;
    Bytes totals;
};

class FsDriverLifeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(emu.start(true)); }

    // One exchange built by the caller, as the document commands build them.
    Bytes exec(std::uint8_t code, const Bytes& data, std::size_t answerSize) {
        FsRep reply;
        const auto result = driver.exec(FsReq(code, data), reply, FsDriver::kDocumentTimeoutMs);
        EXPECT_EQ(result, fsresult::kOk) << "0x" << std::hex << int(code) << "\n" << driver.log();
        EXPECT_EQ(reply.data().size(), answerSize) << "0x" << std::hex << int(code);
        return reply.data();
    }
    void ok(std::uint16_t result) { ASSERT_EQ(result, fsresult::kOk) << driver.log(); }

    Archive readEverything() {
        Archive a;
        FsStatus status;
        EXPECT_EQ(driver.readStatus(status), fsresult::kOk);
        for (std::uint32_t n = 1; n <= status.lastDocumentNumber; ++n) {
            FsRep reply;
            EXPECT_EQ(driver.findDocument(n, reply), fsresult::kOk) << n;
            a.documents[n] = reply.data();
        }
        EXPECT_EQ(driver.readDocumentTlv(3, a.receiptType, a.receiptTlv), fsresult::kOk);
        EXPECT_EQ(driver.readRegistrationParameters(0, a.parameters), fsresult::kOk)
            << driver.log();
        FsRep reply;
        EXPECT_EQ(driver.exec(FsReq(0x36, {FsCountersBinary::kWholeFs}), reply, 60000),
                  fsresult::kOk);
        a.totals = reply.data();
        return a;
    }

    EmulatorOnPty emu{"life"};
    FsDriver driver{emu.link(), realClock(), kCapMs};
};

TEST_F(FsDriverLifeTest, RegisterTradeReportCloseAndFindItAllAgainAfterARestart) {
    FsStatus status;
    ok(driver.readStatus(status));
    EXPECT_EQ(status.phase, 1);
    // The start-up read of a fresh register: everything that applies before registration.
    auto full = std::make_shared<FsFullStatus>();
    std::string errors;
    EXPECT_EQ(driver.readFullStatus(full, 0, 0, errors), fsresult::kOk) << errors;
    EXPECT_EQ(full->lastResult, 0) << errors;
    EXPECT_EQ(full->ffdVersionSecond, 4);
    EXPECT_TRUE(full->lifetime);
    EXPECT_TRUE(full->memoryResource);
    EXPECT_FALSE(full->exchangeStatus) << "phase 1 has no OFD exchange";

    // Registration.
    FsRep started;
    ok(driver.startRegistrationReport(0, 4, started));
    exec(0x07,
         tlvs({Tlv().setText(1048, "ООО Ромашка"), Tlv().setText(1009, "г. Москва, ул. Ленина, 1"),
               Tlv().setText(1187, "Магазин"), Tlv().setText(1013, "0000000012345678"),
               Tlv().setText(1188, "012"), Tlv().setByte(1189, 4)}),
         0);
    Bytes regTime;
    {
        std::tm tm{};
        const std::time_t t = localTime(2026, 2, 2, 9, 0);
        ::localtime_r(&t, &tm);
        regTime = dt(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
    }
    const Bytes reg = exec(0xA3, cat(regTime, regRecord(0x01, 0x00, 0x00)), 8);
    EXPECT_EQ(le::load32(reg.data()), 1u);
    ok(driver.readStatus(status));
    EXPECT_EQ(status.phase, 3);
    FsLifetime life;
    ok(driver.readLifetime(life));
    EXPECT_EQ(life.registrationsDone, 1);
    EXPECT_GT(life.validUntil, localTime(2028, 2, 1, 0, 0));
    full = std::make_shared<FsFullStatus>();
    EXPECT_EQ(driver.readFullStatus(full, 0, 0, errors), fsresult::kOk) << errors;
    EXPECT_EQ(full->registerSerialNumber, "0000000012345678");
    ASSERT_TRUE(full->exchangeStatus);
    EXPECT_EQ(full->exchangeStatus->firstUnsentNumber, 1u);
    ASSERT_TRUE(full->lifetime);
    // Days of validity left at the moment the driver asks about (its clock is the real one).
    const auto daysLeft = std::max<std::int64_t>(0, (life.validUntil - std::time(nullptr)) / 86400);
    EXPECT_NEAR(full->lifetime->lifetimeCounter, daysLeft, 1);

    // A shift with a cash receipt, an electronic receipt and a correction receipt.
    ok(driver.startShiftOpen(localTime(2026, 2, 2, 10, 0)));
    const Bytes opened = exec(0x12, {}, 10);
    EXPECT_EQ(le::load16(opened.data()), 1);
    auto sell = [&](bool correction, int minute, std::uint64_t total, std::uint16_t payTag) {
        const std::time_t at = localTime(2026, 2, 2, 10, minute);
        ok(correction ? driver.startCorrection(at) : driver.startReceipt(at));
        exec(0x07,
             tlvs({Tlv().setStlv(1059, {Tlv().setText(1030, "Товар"), Tlv().setVln(1043, total)}),
                   Tlv().setVln(payTag, total), Tlv().setVln(1102, total / 6)}),
             0);
        std::tm tm{};
        ::localtime_r(&at, &tm);
        return exec(
            0x16,
            closeData(dt(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min), 1,
                      total),
            10);
    };
    const Bytes cash = sell(false, 5, 12000, 1031);
    const Bytes card = sell(false, 6, 3000, 1081);
    const Bytes corr = sell(true, 7, 500, 1031);
    EXPECT_EQ(le::load16(cash.data()), 1);
    EXPECT_EQ(le::load16(card.data()), 2);
    EXPECT_EQ(le::load32(corr.data() + 2), 5u);

    FsShiftState shift;
    ok(driver.readShiftState(shift));
    EXPECT_TRUE(shift.open);
    EXPECT_EQ(shift.lastReceipt, 3);
    FsCountersBinary inShift, closedShifts;
    ok(driver.readCounters(FsCountersBinary::kShift, inShift));
    ok(driver.readCounters(FsCountersBinary::kWholeFs, closedShifts));
    EXPECT_EQ(inShift.receipts, 3u);
    EXPECT_EQ(inShift.income.count, 3);
    EXPECT_EQ(inShift.income.cash.raw(), 12500);
    EXPECT_EQ(inShift.income.electronic.raw(), 3000);
    EXPECT_EQ(inShift.correctionCount, 1u);
    EXPECT_EQ(inShift.correctionIncome.sum.raw(), 500);
    EXPECT_EQ(closedShifts.receipts, 0u);
    // The register's cash figure: FS totals plus the open shift, each receipt once.
    EXPECT_EQ(closedShifts.cashBalance() + inShift.cashBalance(), 12500);

    ok(driver.startShiftClose(localTime(2026, 2, 2, 20, 0)));
    const Bytes closed = exec(0x14, {}, 11);
    EXPECT_EQ(le::load32(closed.data() + 2), 6u);
    ok(driver.readCounters(FsCountersBinary::kWholeFs, closedShifts));
    EXPECT_EQ(closedShifts.receipts, 3u);
    EXPECT_EQ(closedShifts.cashBalance(), 12500);
    FsCountersBinary none;
    EXPECT_EQ(driver.readCounters(FsCountersBinary::kShift, none), fsresult::kFsErrorBase + 0x02)
        << "no open shift";

    ok(driver.startCalcReport(localTime(2026, 2, 3, 8, 0)));
    const Bytes report = exec(0x19, {}, 15);
    EXPECT_EQ(le::load32(report.data() + 8), 6u) << "six documents wait for the OFD";

    ok(driver.startFsClose());
    std::tm tm{};
    const std::time_t closeAt = localTime(2026, 2, 3, 9, 0);
    ::localtime_r(&closeAt, &tm);
    exec(
        0x05,
        cat(dt(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min), text(kRn, 20)),
        8);
    ok(driver.readStatus(status));
    EXPECT_EQ(status.phase, 7);
    EXPECT_EQ(status.lastDocumentNumber, 8u);
    EXPECT_EQ(status.lastDocumentTime, closeAt);

    // The archive in its layouts.
    const Archive before = readEverything();
    const std::uint8_t types[] = {1, 2, 3, 3, 31, 5, 21, 6};
    for (std::uint32_t n = 1; n <= 8; ++n) {
        ASSERT_GE(before.documents.at(n).size(), 3u);
        EXPECT_EQ(before.documents.at(n)[0], types[n - 1]) << n;
    }
    EXPECT_EQ(le::load32(before.documents.at(3).data() + 2 + 9), le::load32(cash.data() + 6));
    EXPECT_EQ(before.receiptType, 3);
    std::map<std::uint16_t, Tlv> receipt;
    for (const auto& t : before.receiptTlv)
        receipt.emplace(t.tag(), t);
    EXPECT_EQ(receipt.at(1031).asVln(), 12000u);
    EXPECT_EQ(receipt.at(1040).asU32(), 3u);
    EXPECT_EQ(receipt.at(1077).asU32(), le::load32(cash.data() + 6));
    EXPECT_EQ(receipt.at(1059).parseMap().at(1030).asText(), "Товар");

    // The registration parameters as the register reads them at start-up.
    std::map<std::uint16_t, Tlv> params;
    for (const auto& t : before.parameters)
        params.emplace(t.tag(), t);
    EXPECT_EQ(params.at(1048).asText(), "ООО Ромашка");
    EXPECT_EQ(params.at(1187).asText(), "Магазин");
    EXPECT_EQ(params.at(1018).asInn(), std::string(kInn));
    EXPECT_EQ(params.at(1037).asText(), asString(text(kRn, 20)));
    EXPECT_EQ(params.at(1040).asU32(), 1u);
    EXPECT_EQ(params.at(1041).asText(), status.fsNumber);
    EXPECT_EQ(params.at(1077).asU32(), le::load32(reg.data() + 4));
    EXPECT_EQ(params.at(1190).asByte(), 4);
    EXPECT_FALSE(params.contains(1036)) << "absent tags are skipped";
    EXPECT_FALSE(params.contains(1157)) << "a first registration has no counters";

    // Everything is still there after the emulator restarts from its state file.
    emu.stop();
    ASSERT_TRUE(emu.start(false));
    FsStatus again;
    ok(driver.readStatus(again));
    EXPECT_EQ(again.phase, 7);
    EXPECT_EQ(again.fsNumber, status.fsNumber);
    EXPECT_EQ(again.lastDocumentNumber, 8u);
    const Archive after = readEverything();
    EXPECT_EQ(after.documents, before.documents);
    EXPECT_EQ(after.receiptTlv, before.receiptTlv);
    EXPECT_EQ(after.parameters, before.parameters);
    EXPECT_EQ(after.totals, before.totals);
}

}  // namespace
}  // namespace kkt::sim
