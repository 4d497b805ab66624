// Service commands end to end: the core, the emulated FS and printer, and the board's files.

#include <gtest/gtest.h>

#include <ctime>

#include "BoardSupport.hpp"
#include "host/ResultCodes.hpp"
#include "primitives/Cp866.hpp"

namespace kkt::e2e {
namespace {

using sim::Operator;
using sim::withOperator;

const Operator kService{255, sim::kServicePassword};

class ServiceCommandsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { board_ = std::make_unique<VirtualBoard>(); }
    static void TearDownTestSuite() {
        EXPECT_EQ(board_->stop(), 0);
        board_.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(board_->started()) << board_->error();
        c_ = board_->client();
        ASSERT_TRUE(c_);
    }

    std::uint16_t code(std::uint16_t cmd, ByteView data = {}) {
        const auto r = c_->request(cmd, data);
        EXPECT_TRUE(r.ok()) << cmd << ": " << r.error;
        return r.ok() ? r.answer.code : 0xFFFF;
    }

    static std::unique_ptr<VirtualBoard> board_;
    std::unique_ptr<sim::HostClient> c_;
};

std::unique_ptr<VirtualBoard> ServiceCommandsTest::board_;

TEST_F(ServiceCommandsTest, FactoryRecordIsWrittenOnceAndReadByTheLink) {
    // A fresh register has no valid factory record.
    EXPECT_EQ(code(305), sim::result::kModelInvalid);
    const auto admin = administrator(*c_);
    ASSERT_TRUE(admin);
    // The service operator lacks the right; bad serial numbers are refused.
    EXPECT_EQ(code(319, withOperator(kService, toBytes("123"))), 14);
    EXPECT_EQ(code(319, withOperator(*admin, toBytes("12a4"))), 278);
    EXPECT_EQ(code(319, withOperator(*admin, toBytes(std::string(21, '1')))), 278);
    EXPECT_EQ(code(319, withOperator(*admin, toBytes("00112233445566778899"))), 0);
    const auto r = c_->request(305);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.answer.code, 0);
    ASSERT_EQ(r.answer.data.size(), 66u);
    EXPECT_EQ(asString(ByteView(r.answer.data).subspan(6, 20)), "00112233445566778899");
    // Written once: a second write is refused even with a good number.
    EXPECT_EQ(code(319, withOperator(*admin, toBytes("42"))), 280);
    // The record sits in the EEPROM file at offset 0.
    const auto eeprom = VirtualBoard::readFile(board_->dir().eeprom());
    ASSERT_EQ(eeprom.size(), 4096u);
    EXPECT_EQ(eeprom.substr(6, 20), "00112233445566778899");
}

TEST_F(ServiceCommandsTest, OperatorChecksAndUnknownCodes) {
    const Operator wrong{20, 999999};
    // A wrong password: reading fails on the rights first, writing on the operator.
    EXPECT_EQ(code(257, withOperator(wrong, Bytes{1, 20})), 14);
    Bytes write{1};
    const auto rec = sim::encodeCashier({3, 1, 1234, "K", "k", "1234", ""});
    write.insert(write.end(), rec.begin(), rec.end());
    EXPECT_EQ(code(258, withOperator(wrong, write)), 274);
    // A prefix shorter than 5 bytes: 257 tests the rights first, 258 reports the prefix.
    EXPECT_EQ(code(257, Bytes{20, 1, 2, 3}), 14);
    EXPECT_EQ(code(258, Bytes{20, 1, 2, 3}), 275);
    EXPECT_EQ(code(264), sim::result::kUnknownCommand);
    // The time needs no operator; 260 needs exactly 4 bytes.
    const auto t = c_->request(259);
    ASSERT_TRUE(t.ok());
    ASSERT_EQ(t.answer.data.size(), 4u);
    EXPECT_LT(std::abs(static_cast<long>(le::load32(t.answer.data.data())) - std::time(nullptr)),
              120);
    EXPECT_EQ(code(260, withOperator(kService, Bytes{1, 2, 3})), 278);
    EXPECT_EQ(code(260, withOperator(kService, Bytes{1, 2, 3, 4, 5})), 278);
}

TEST_F(ServiceCommandsTest, SettingTheClockRunsTheStubsAndLeavesTheMachineClockAlone) {
    const auto before = std::time(nullptr);
    const auto target = static_cast<std::uint32_t>(before + 86400 * 400);
    ByteWriter w;
    w.u32(target);
    EXPECT_EQ(code(260, withOperator(kService, w.data())), 0);
    const auto log = board_->dir().log("clock.log");
    EXPECT_TRUE(waitFor(
        [&] { return VirtualBoard::readFile(log).find("hwclock -w") != std::string::npos; }, 10s))
        << VirtualBoard::readFile(log);
    EXPECT_NE(VirtualBoard::readFile(log).find("date -s"), std::string::npos);
    EXPECT_LT(std::time(nullptr) - before, 120);  // no jump of a year
    // A time before the firmware's build is not plausible.
    ByteWriter old;
    old.u32(1000000000);
    EXPECT_EQ(code(260, withOperator(kService, old.data())), 279);
}

TEST_F(ServiceCommandsTest, PrintingReachesThePaper) {
    if (!VirtualBoard::hasTool("kkt-printer-emulator"))
        GTEST_SKIP() << "no printer emulator built";
    using namespace kkt::literals;
    Bytes text{0, 1, 0, 0};  // spacing, centred, size, attributes
    const auto line = cp866::fromUtf8("ПРОВЕРКА ПЕЧАТИ 4711");
    text.insert(text.end(), line.begin(), line.end());
    EXPECT_EQ(code(451, text), 0);
    EXPECT_EQ(code(451, Bytes{0, 1, 0}), 278);  // 3 bytes or fewer
    Bytes qr{0x01, 0x00};
    const auto url = toBytes("https://example.org/4711");
    qr.insert(qr.end(), url.begin(), url.end());
    EXPECT_EQ(code(456, qr), 0);
    EXPECT_EQ(code(455, Bytes{4, 0, '4', '7', '1', '1'}), 0);
    EXPECT_EQ(code(455, Bytes{99, 0, '4', '7', '1', '1'}), 1003);
    EXPECT_EQ(code(453), 0);
    EXPECT_EQ(code(448), 0);
    const auto paper = board_->dir().printerOut() + "/paper.txt";
    EXPECT_TRUE(waitFor(
        [&] {
            const auto p = VirtualBoard::readFile(paper);
            return p.find("ПРОВЕРКА ПЕЧАТИ 4711") != std::string::npos &&
                   p.find("https://example.org/4711") != std::string::npos;
        },
        10s))
        << VirtualBoard::readFile(paper);

    // Paper out is the printer status and the result of a print.
    ASSERT_EQ(board_->ctl("paper-out"), "ok");
    EXPECT_TRUE(waitFor([&] { return code(448) == 977; }, 10s));
    EXPECT_EQ(code(451, text), 977);
    ASSERT_EQ(board_->ctl("paper-in"), "ok");
    EXPECT_TRUE(waitFor([&] { return code(448) == 0; }, 10s));
}

TEST_F(ServiceCommandsTest, FsQueriesPassThroughTheCore) {
    if (!VirtualBoard::hasTool("kkt-fs-emulator"))
        GTEST_SKIP() << "no FS emulator built";
    auto r = c_->request(0x30);
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.answer.code, 0);
    ASSERT_EQ(r.answer.data.size(), 30u);
    EXPECT_EQ(r.answer.data[0], 1);  // a new FS is in phase 1
    const auto fsNumber = asString(ByteView(r.answer.data).subspan(10, 16));
    r = c_->request(0x31);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(asString(r.answer.data), fsNumber);

    // Without the FS the core reports that it got no answer.
    ASSERT_EQ(board_->ctl("fs-disconnect"), "ok");
    EXPECT_TRUE(waitFor([&] { return code(0x30) == sim::result::kFsNoAnswer; }, 30s));
    ASSERT_EQ(board_->ctl("fs-connect"), "ok");
    EXPECT_TRUE(waitFor([&] { return code(0x30) == 0; }, 30s));
    EXPECT_NE(board_->ctl("fs-fault bogus").find("error"), std::string::npos);
}

}  // namespace
}  // namespace kkt::e2e
