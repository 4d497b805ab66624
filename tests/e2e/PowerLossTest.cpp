// A power loss (the firmware killed at once) and a restart keep what the register stores; the
// USB cable pulled and plugged again resets the link.

#include <gtest/gtest.h>

#include <filesystem>

#include "BoardSupport.hpp"
#include "host/ResultCodes.hpp"
#include "primitives/Cp866.hpp"

namespace kkt::e2e {
namespace {

using sim::Operator;
using sim::withOperator;

const Operator kService{255, sim::kServicePassword};

TEST(PowerLossTest, KillAndRestartKeepCashiersSettingsFactoryRecordAndFs) {
    VirtualBoard board;
    ASSERT_TRUE(board.started()) << board.error();
    auto c = board.client();
    ASSERT_TRUE(c);
    const auto admin = administrator(*c);
    ASSERT_TRUE(admin);

    sim::CashierRecord k{3, 0x0041, 4321, cp866::fromUtf8("КАССИР ТРИ"), "k3", "4321", ""};
    Bytes write{1};
    const auto rec = sim::encodeCashier(k);
    write.insert(write.end(), rec.begin(), rec.end());
    auto r = c->request(258, withOperator(*admin, write));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.answer.code, 0);
    r = c->request(321, withOperator(kService, Bytes{1, 1}));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.answer.code, 0);
    r = c->request(319, withOperator(*admin, toBytes("777000111")));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.answer.code, 0);
    const auto device = c->request(306);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(device.answer.code, 0);
    const auto fsBefore = c->request(0x30);
    ASSERT_TRUE(fsBefore.ok());

    ASSERT_EQ(board.ctl("kill"), "ok");
    EXPECT_FALSE(std::filesystem::exists(board.dir().ready()));
    c->setTimeout(500ms);
    EXPECT_EQ(c->request(307).status, sim::ClientStatus::Timeout);
    EXPECT_NE(board.ctl("status").find("firmware stopped"), std::string::npos);

    ASSERT_EQ(board.ctl("restart"), "ok");
    ASSERT_TRUE(board.waitReady());
    c->setTimeout(30s);

    r = c->request(257, withOperator(kService, Bytes{1, 3}));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.answer.code, 0);
    EXPECT_EQ(r.answer.data, rec);
    r = c->request(320, withOperator(kService, Bytes{1}));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.answer.code, 0);
    EXPECT_EQ(r.answer.data, Bytes{1});
    r = c->request(305);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.answer.code, 0);
    EXPECT_EQ(asString(ByteView(r.answer.data).subspan(6, 9)), "777000111");
    // A valid factory record keeps the device id across starts.
    r = c->request(306);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.answer.data, device.answer.data);
    if (VirtualBoard::hasTool("kkt-fs-emulator")) {
        r = c->request(0x30);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.answer.code, fsBefore.answer.code);
        EXPECT_EQ(r.answer.data, fsBefore.answer.data);
    }
    EXPECT_EQ(board.stop(), 0);
}

TEST(PowerLossTest, UsbUnplugClosesTheLinkAndReconnectionResetsTheLastAnswer) {
    VirtualBoard board;
    ASSERT_TRUE(board.started()) << board.error();
    auto c = board.client();
    ASSERT_TRUE(c);
    auto r = c->request(307);
    ASSERT_TRUE(r.ok());
    ASSERT_TRUE(board.waitStatus("host port open"));

    ASSERT_EQ(board.ctl("usb-unplug"), "ok");
    EXPECT_EQ(VirtualBoard::readFile(board.dir().usbState()), "not attached\n");
    ASSERT_TRUE(board.waitStatus("host port closed")) << board.ctl("status");
    c->setTimeout(300ms);
    EXPECT_EQ(c->request(307).status, sim::ClientStatus::Timeout);
    // Unconfigured for 15 s, the link switches the controller to host mode and back, with the
    // board's shell: "echo -en host" writes exactly "host".
    const auto mode = board.dir().usbMode();
    EXPECT_TRUE(waitFor([&] { return VirtualBoard::readFile(mode) == "host"; }, 25s))
        << "mode file: '" << VirtualBoard::readFile(mode) << "'";
    EXPECT_TRUE(waitFor([&] { return VirtualBoard::readFile(mode) == "peripheral"; }, 5s))
        << "mode file: '" << VirtualBoard::readFile(mode) << "'";

    ASSERT_EQ(board.ctl("usb-plug"), "ok");
    ASSERT_TRUE(board.waitStatus("host port open")) << board.ctl("status");
    // The first ENQ after the reconnection finds no answer yet.
    c->setTimeout(5s);
    r = c->enq();
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.answer.code, sim::result::kNoAnswerYet);
    EXPECT_EQ(r.answer.id, 0u);
    r = c->request(307);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.answer.code, 0);
    EXPECT_EQ(board.stop(), 0);
}

TEST(PowerLossTest, TheViewKeepsBoardPathsOffTheRealDisk) {
    VirtualBoard board(VirtualBoard::Options{false, false});
    ASSERT_TRUE(board.started()) << board.error();
    // The firmware made its cashier file in the state directory, and nothing on the real root.
    EXPECT_TRUE(
        waitFor([&] { return std::filesystem::exists(board.dir().nv() + "/CASHIERS"); }, 10s));
    EXPECT_FALSE(std::filesystem::exists("/nv"));
    EXPECT_FALSE(std::filesystem::exists("/dev/ttyGS0"));
    EXPECT_EQ(VirtualBoard::readFile(board.dir().firmwareStdout()).substr(0, 1), "1");
    EXPECT_EQ(board.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(board.dir().hostLink()));
    EXPECT_FALSE(std::filesystem::exists(board.dir().ready()));
}

}  // namespace
}  // namespace kkt::e2e
