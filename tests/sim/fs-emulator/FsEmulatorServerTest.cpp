// FsDriver against the emulator over a pseudo-terminal, with the emulator's fault knobs.

#include "fs-emulator/FsEmulatorServer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "FsServerTestSupport.hpp"
#include "fs/FsDriver.hpp"
#include "fs/FsResult.hpp"
#include "fs/FsStatus.hpp"

namespace kkt::sim {
namespace {

using namespace kkt::sim::test;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Answers come at once; this bound only limits how long a test waits for a missing one.
constexpr std::uint32_t kCapMs = 1000;

class FsEmulatorServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        emu.options.lateDelay = milliseconds(300);
        ASSERT_TRUE(emu.start(true));
    }

    EmulatorOnPty emu{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    FsDriver driver{emu.link(), realClock(), kCapMs};
};

TEST_F(FsEmulatorServerTest, AnswersOverThePtyAndSurvivesNoiseBeforeTheStartByte) {
    FsStatus status;
    ASSERT_EQ(driver.readStatus(status), fsresult::kOk) << driver.log();
    EXPECT_EQ(status.phase, 1);
    EXPECT_EQ(status.fsNumber.size(), 16u);

    emu.faults().add(FsFault::Noise, 2);
    FsStatus again;
    EXPECT_EQ(driver.readStatus(again), fsresult::kOk) << driver.log();
    EXPECT_EQ(again.fsNumber, status.fsNumber);
    std::string number;
    EXPECT_EQ(driver.readFsNumber(number), fsresult::kOk) << driver.log();
    EXPECT_EQ(number, status.fsNumber);

    // A register that closes its port and opens it again finds the line as it left it.
    for (int i = 0; i < 3; ++i) {
        FsDriver reopened{emu.link(), realClock(), kCapMs};
        FsStatus s;
        EXPECT_EQ(reopened.readStatus(s), fsresult::kOk) << reopened.log();
    }
    EXPECT_EQ(driver.readStatus(again), fsresult::kOk) << driver.log();
}

TEST_F(FsEmulatorServerTest, DamagedOrMissingAnswersGiveTheirResultCodes) {
    FsStatus status;
    // A truncated answer never completes: the driver gives up at its time limit.
    emu.faults().add(FsFault::Truncated, 1, 0x30);
    auto begin = steady_clock::now();
    EXPECT_EQ(driver.readStatus(status), fsresult::kNoAnswer);
    EXPECT_GE(steady_clock::now() - begin, milliseconds(kCapMs));
    EXPECT_NE(driver.log().find("NOT DONE\nOUT\n04 1F 00"), std::string::npos) << driver.log();

    emu.faults().add(FsFault::NoAnswer);
    EXPECT_EQ(driver.readStatus(status), fsresult::kNoAnswer);
    EXPECT_NE(driver.log().find("NOT DONE"), std::string::npos);

    emu.faults().add(FsFault::BadCrc);
    EXPECT_EQ(driver.readStatus(status), fsresult::kMalformed);

    // Late but within the time limit still counts.
    emu.faults().add(FsFault::Late);
    begin = steady_clock::now();
    EXPECT_EQ(driver.readStatus(status), fsresult::kOk) << driver.log();
    EXPECT_GE(steady_clock::now() - begin, milliseconds(300));

    // The command-bound fault waits for its command.
    emu.faults().add(FsFault::BadCrc, 1, 0x31);
    EXPECT_EQ(driver.readStatus(status), fsresult::kOk);
    std::string number;
    EXPECT_EQ(driver.readFsNumber(number), fsresult::kMalformed);
    EXPECT_EQ(driver.readFsNumber(number), fsresult::kOk);
}

TEST_F(FsEmulatorServerTest, ADisconnectedFsAnswersNothingAndDoesNothing) {
    std::string number;
    ASSERT_EQ(driver.readFsNumber(number), fsresult::kOk);
    emu.faults().setConnected(false);
    FsStatus status;
    EXPECT_EQ(driver.readStatus(status), fsresult::kNoAnswer);
    FsRep reply;
    EXPECT_EQ(driver.startRegistrationReport(0, 4, reply), fsresult::kNoAnswer);
    emu.faults().setConnected(true);
    ASSERT_EQ(driver.readStatus(status), fsresult::kOk) << driver.log();
    EXPECT_EQ(status.currentDocument, 0) << "the request sent into the pulled cable never ran";
}

TEST_F(FsEmulatorServerTest, AClosedPortOrAMissingDeviceGivesNoAnswerUntilTheFsIsBack) {
    FsStatus status;
    ASSERT_EQ(driver.readStatus(status), fsresult::kOk);
    const std::string number = status.fsNumber;
    emu.stop();  // the FS goes away under an open port
    EXPECT_FALSE(std::filesystem::exists(emu.link()));
    EXPECT_EQ(driver.readStatus(status), fsresult::kNoAnswer);
    EXPECT_EQ(driver.log().rfind("IN:\n", 0), 0u) << driver.log();

    FsDriver nowhere{(emu.dir() / "no-such-device").string(), realClock(), kCapMs};
    EXPECT_EQ(nowhere.readStatus(status), fsresult::kNoAnswer);
    EXPECT_NE(nowhere.log().find("PORT IS NOT OPEN"), std::string::npos) << nowhere.log();

    // The same FS comes back on a new pty behind the same link; the driver reopens it.
    ASSERT_TRUE(emu.start(false));
    FsStatus back;
    ASSERT_EQ(driver.readStatus(back), fsresult::kOk) << driver.log();
    EXPECT_EQ(back.fsNumber, number);
}

TEST_F(FsEmulatorServerTest, TheTraceRecordsEveryExchangeBothWays) {
    FsStatus status;
    ASSERT_EQ(driver.readStatus(status), fsresult::kOk);
    emu.faults().add(FsFault::NoAnswer);
    EXPECT_EQ(driver.readStatus(status), fsresult::kNoAnswer);
    emu.stop();
    std::ifstream in(emu.options.tracePath);
    std::stringstream all;
    all << in.rdbuf();
    const std::string trace = all.str();
    EXPECT_NE(trace.find("KKT>FS 04 01 00 30 FF CD"), std::string::npos) << trace;
    EXPECT_NE(trace.find("FS>KKT 04 1F 00 00 01"), std::string::npos) << trace;
    EXPECT_NE(trace.find("(fault no-answer, withheld)"), std::string::npos) << trace;
}

}  // namespace
}  // namespace kkt::sim
