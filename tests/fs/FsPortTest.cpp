#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>

#include "ScriptedFsSupport.hpp"
#include "fs/FsPort.hpp"
#include "primitives/Utils.hpp"

using namespace kkt;
using kkt::test::ScriptedFs;

namespace {

constexpr const char* kMissingDevice = "/nonexistent/ttyFS";

class FsPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(fs.ok()); }

    ScriptedFs fs;
    FsPort port{fs.path(), fs};
};

}  // namespace

TEST_F(FsPortTest, ExchangesOneFrameAndOpensLazily) {
    EXPECT_FALSE(port.isOpen());
    fs.answer(0x00, {0x11, 0x22, 0x33});
    FsRep rep;
    ASSERT_TRUE(port.exchange(FsReq(0x30), rep, 2000)) << port.log();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(rep.status(), FsFrameStatus::Ok);
    EXPECT_EQ(rep.data(), (Bytes{0x11, 0x22, 0x33}));
    ASSERT_EQ(fs.requests().size(), 1u);
    EXPECT_EQ(fs.requests()[0], FsReq(0x30).toFrame());
    EXPECT_TRUE(port.log().empty());
}

TEST_F(FsPortTest, DropsNoiseBeforeTheStartByte) {
    Bytes answer{0xFF, 0x00, 0x13, 0x37};
    const auto frame = ScriptedFs::frame(0x00, {0x42});
    answer.insert(answer.end(), frame.begin(), frame.end());
    fs.answerRaw(answer);
    FsRep rep;
    ASSERT_TRUE(port.exchange(FsReq(0x30), rep, 2000)) << port.log();
    EXPECT_EQ(rep.status(), FsFrameStatus::Ok);
    EXPECT_EQ(rep.data(), (Bytes{0x42}));
}

TEST_F(FsPortTest, LenOneAnswerIsCompleteAfterSixBytes) {
    // Bytes after the frame do not belong to it: the exchange ends at the sixth byte.
    auto answer = ScriptedFs::frame(0x81, {});
    answer.push_back(0x04);
    answer.push_back(0x09);
    fs.answerRaw(answer);
    FsRep rep;
    ASSERT_TRUE(port.exchange(FsReq(0x06), rep, 2000)) << port.log();
    EXPECT_EQ(rep.status(), FsFrameStatus::Ok);
    EXPECT_EQ(rep.code(), 0x81);
    EXPECT_FALSE(rep.hasData());
}

TEST_F(FsPortTest, CollectsAFrameThatArrivesInPieces) {
    const auto frame = ScriptedFs::frame(0x00, Bytes(40, 0x5A));
    fs.answerInPieces(
        {Bytes(frame.begin(), frame.begin() + 2), Bytes(frame.begin() + 2, frame.begin() + 3),
         Bytes(frame.begin() + 3, frame.end() - 1), Bytes(frame.end() - 1, frame.end())});
    FsRep rep;
    ASSERT_TRUE(port.exchange(FsReq(0x30), rep, 2000)) << port.log();
    EXPECT_EQ(rep.data(), Bytes(40, 0x5A));
}

TEST_F(FsPortTest, MalformedCompleteFrameIsHandedToTheReply) {
    auto frame = ScriptedFs::frame(0x00, {0x01, 0x02});
    frame[frame.size() - 1] ^= 0x80;
    fs.answerRaw(frame);
    FsRep rep;
    EXPECT_TRUE(port.exchange(FsReq(0x30), rep, 2000));
    EXPECT_EQ(rep.status(), FsFrameStatus::BadCrc);
    EXPECT_TRUE(port.log().empty());
}

TEST_F(FsPortTest, TruncatedAnswerFailsAtTheTimeoutWithWhatCame) {
    const auto frame = ScriptedFs::frame(0x00, Bytes(20, 0x01));
    Bytes partial{0x55};  // noise: not part of what was collected
    partial.insert(partial.end(), frame.begin(), frame.begin() + 10);
    fs.answerRaw(partial);

    const auto realStart = std::chrono::steady_clock::now();
    FsRep rep;
    EXPECT_FALSE(port.exchange(FsReq(0x30), rep, 2000));
    EXPECT_EQ(port.log(),
              "PORT IS OPENEDNOT DONE\nOUT\n" + util::hexDump(ByteView(frame).subspan(0, 10)));
    EXPECT_EQ(rep.status(), FsFrameStatus::Nothing);
    // The answer limit bounds the wait on the port's clock...
    EXPECT_GE(fs.elapsedMs(), 2000);
    EXPECT_LT(fs.elapsedMs(), 2100);
    // ...and no read blocks on the device's own 10-second read limit.
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
}

TEST_F(FsPortTest, SilentFsTimesOutWithAnEmptyDump) {
    fs.silence();
    FsRep rep;
    EXPECT_FALSE(port.exchange(FsReq(0x30), rep, 300));
    EXPECT_EQ(port.log(), "PORT IS OPENEDNOT DONE\nOUT\n");
    EXPECT_GE(fs.elapsedMs(), 300);
    EXPECT_LT(fs.elapsedMs(), 320);
}

TEST_F(FsPortTest, LateAnswerOfAnEarlierRequestIsNotTakenForTheNextOne) {
    fs.silence();
    FsRep rep;
    ASSERT_FALSE(port.exchange(FsReq(0x30), rep, 200));

    // The answer to the first request turns up after its exchange gave up.
    const auto late = ScriptedFs::frame(0x00, {0xDE, 0xAD});
    ASSERT_TRUE(fs.inject(late));
    ASSERT_TRUE(fs.waitUntilQueued(late.size()));

    fs.answer(0x00, {0x01, 0x02, 0x03, 0x04});
    ASSERT_TRUE(port.exchange(FsReq(0x31), rep, 2000)) << port.log();
    EXPECT_EQ(rep.data(), (Bytes{0x01, 0x02, 0x03, 0x04}));
}

TEST_F(FsPortTest, RefusedRequestNeverReachesTheDevice) {
    const FsReq refused(0x16, Bytes(10, 0xAB));
    FsRep rep;
    EXPECT_FALSE(port.exchange(refused, rep, 2000));
    EXPECT_EQ(port.log(), "REQ DATA SIZE = 10\n" + util::hexDump(refused.data()));
    // Not even opened for it.
    EXPECT_FALSE(port.isOpen());

    // The next valid request is the first thing the FS sees.
    fs.answer(0x00);
    ASSERT_TRUE(port.exchange(FsReq(0x30), rep, 2000)) << port.log();
    EXPECT_FALSE(port.exchange(FsReq(0x7F), rep, 2000));
    EXPECT_EQ(port.log(), "REQ DATA SIZE = 0\n");
    fs.answer(0x00);
    ASSERT_TRUE(port.exchange(FsReq(0x31), rep, 2000)) << port.log();
    ASSERT_EQ(fs.requests().size(), 2u);
    EXPECT_EQ(fs.requests()[0], FsReq(0x30).toFrame());
    EXPECT_EQ(fs.requests()[1], FsReq(0x31).toFrame());
}

TEST(FsPort, MissingDeviceIsReportedAndTriedAgainEachTime) {
    ScriptedFs clock;
    FsPort port(kMissingDevice, clock);
    FsRep rep;
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(port.exchange(FsReq(0x30), rep, 2000));
        EXPECT_EQ(port.log(), std::string("PORT ") + kMissingDevice + " IS NOT OPENED");
        EXPECT_FALSE(port.isOpen());
    }
    // A refused request is reported as such even with the device missing.
    EXPECT_FALSE(port.exchange(FsReq(0x36), rep, 2000));
    EXPECT_EQ(port.log(), "REQ DATA SIZE = 0\n");

    FsPort unnamed("", clock);
    EXPECT_FALSE(unnamed.open());
}

TEST(FsPort, WriteAllNeedsAnOpenPortAndData) {
    ScriptedFs fs;
    ASSERT_TRUE(fs.ok());
    FsPort port(fs.path(), fs);
    const Bytes data{0x01, 0x02};
    EXPECT_EQ(port.writeAll(data), -1);
    ASSERT_TRUE(port.open());
    EXPECT_EQ(port.writeAll(Bytes{}), -1);
    EXPECT_EQ(port.writeAll(data), 2);
    EXPECT_EQ(port.close(), 0);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.writeAll(data), -1);
}

TEST(FsPort, FailedWriteReopensTheDeviceForOneMoreTry) {
    // A pseudo-terminal whose master end is gone: writes on the slave fail, and so does
    // opening it again.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);

    ScriptedFs clock;
    FsPort port(slave, clock);
    ASSERT_TRUE(port.open());
    ::close(master);

    FsRep rep;
    EXPECT_FALSE(port.exchange(FsReq(0x30), rep, 2000));
    const std::string first = "ERROR ON WRITE IN PORT " + slave + "CODE: -5";
    const std::string second = "ERROR ON WRITE IN PORT " + slave + "CODE: -1";
    EXPECT_EQ(port.log(), first + second);
    EXPECT_FALSE(port.isOpen());
}
