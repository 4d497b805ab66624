#include <gtest/gtest.h>

#include "FsAnswersSupport.hpp"
#include "ScriptedFsSupport.hpp"
#include "fs/FsDriver.hpp"

using namespace kkt;
using namespace kkt::test;

namespace {

FsRep reply(const Bytes& data, bool corrupt = false) {
    auto frame = ScriptedFs::frame(0x00, data);
    if (corrupt)
        frame[frame.size() - 1] ^= 0x01;
    FsRep rep;
    (void)rep.fromFrame(frame);
    return rep;
}

std::vector<std::uint8_t> codes(const std::vector<Bytes>& frames, std::size_t from = 0) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = from; i < frames.size(); ++i)
        out.push_back(frames[i][3]);
    return out;
}

}  // namespace

TEST(FsStatusRecords, ReadersCheckLengthsAndDecodeFields) {
    FsLifetime lifetime;
    EXPECT_EQ(FsLifetime::fromReply(reply({25, 6, 30, 28, 2}), lifetime), FsFrameStatus::Ok);
    EXPECT_EQ(lifetime.validUntil, localTime(2025, 6, 30, 0, 0));
    EXPECT_EQ(lifetime.registrationsLeft, 28);
    EXPECT_EQ(lifetime.registrationsDone, 2);
    EXPECT_EQ(lifetime.lifetimeCounter, -1);
    EXPECT_TRUE(lifetime.isValid());
    EXPECT_EQ(FsLifetime::fromReply(reply({25, 6, 30, 0, 2}), lifetime), FsFrameStatus::Ok);
    EXPECT_FALSE(lifetime.isValid());
    EXPECT_EQ(FsLifetime::fromReply(reply({0, 0, 0, 5, 2}), lifetime), FsFrameStatus::Ok);
    EXPECT_FALSE(lifetime.isValid());
    EXPECT_EQ(FsLifetime::fromReply(reply({25, 6, 30, 28, 2, 0}), lifetime),
              FsFrameStatus::BadLength);

    FsShiftState shift;
    EXPECT_EQ(FsShiftState::fromReply(reply({1, 0x0C, 0x01, 0x05, 0x00, 0xEE}), shift),
              FsFrameStatus::Ok);
    EXPECT_TRUE(shift.open);
    EXPECT_EQ(shift.shiftNumber, 0x010C);
    EXPECT_EQ(shift.lastReceipt, 5);
    EXPECT_EQ(FsShiftState::fromReply(reply({1, 2, 3, 4}), shift), FsFrameStatus::BadLength);
    EXPECT_EQ(shift.shiftNumber, -1);
    EXPECT_EQ(shift.lastReceipt, -1);

    const Bytes exchange{2, 1, 0x03, 0x00, 0x10, 0x00, 0x00, 0x00, 24, 12, 31, 23, 59};
    FsExchangeStatus ex;
    EXPECT_EQ(FsExchangeStatus::fromReply(reply(exchange), ex), FsFrameStatus::Ok);
    EXPECT_EQ(ex.status, 2);
    EXPECT_TRUE(ex.messageBeingRead);
    EXPECT_EQ(ex.messagesWaiting, 3);
    EXPECT_EQ(ex.firstUnsentNumber, 16u);
    EXPECT_EQ(ex.firstUnsentTime, localTime(2024, 12, 31, 23, 59));
    auto longer = exchange;
    longer.push_back(0);
    EXPECT_EQ(FsExchangeStatus::fromReply(reply(longer), ex), FsFrameStatus::Ok);
    EXPECT_EQ(ex.firstUnsentNumber, 16u);
    EXPECT_EQ(ex.firstUnsentTime, 0);
    EXPECT_EQ(FsExchangeStatus::fromReply(reply(Bytes(12, 0)), ex), FsFrameStatus::BadLength);

    FsMemoryResource memory;
    const Bytes eight{1, 0, 0, 0, 2, 0, 0, 0};
    EXPECT_EQ(FsMemoryResource::fromReply(reply(eight), memory), FsFrameStatus::Ok);
    EXPECT_EQ(memory.first, 1u);
    EXPECT_EQ(memory.second, 2u);
    EXPECT_FALSE(memory.third);
    auto nine = eight;
    nine.push_back(7);
    EXPECT_EQ(FsMemoryResource::fromReply(reply(nine), memory), FsFrameStatus::Ok);
    EXPECT_EQ(memory.third, std::optional<std::uint8_t>(7));
    auto ten = nine;
    ten.push_back(8);
    EXPECT_EQ(FsMemoryResource::fromReply(reply(ten), memory), FsFrameStatus::Ok);
    EXPECT_FALSE(memory.third);
    EXPECT_EQ(FsMemoryResource::fromReply(reply(Bytes(7, 0)), memory), FsFrameStatus::BadLength);

    // A frame that failed its checks is refused by every reader with its own status.
    FsStatus status;
    EXPECT_EQ(FsStatus::fromReply(reply(statusAnswer(3), true), status), FsFrameStatus::BadCrc);
    EXPECT_EQ(FsShiftState::fromReply(reply({1, 2, 3, 4, 5}, true), shift), FsFrameStatus::BadCrc);
    EXPECT_EQ(FsStatus::fromReply(FsRep{}, status), FsFrameStatus::Nothing);
}

namespace {

class FsFullStatusTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(fs.ok()); }

    // The answers of steps 1 to 4 of a full read.
    void scriptIdentity(std::uint8_t phase, std::uint8_t registrationsDone) {
        fs.answer(0x00, toBytes(kFsNumber));
        fs.answer(0x00, {0x04, 0x04});
        fs.answer(0x00, statusAnswer(phase, false, phase > 1 ? 12 : 0));
        fs.answer(0x00, {26, 1, 31, static_cast<std::uint8_t>(30 - registrationsDone),
                         registrationsDone});
    }
    // Steps 6 to 9.
    void scriptRest() {
        Bytes version = toBytes(std::string("fn-v1.2.15      "));
        version.push_back(1);
        fs.answer(0x00, version);
        fs.answer(0x00, toBytes(std::string(48, 'R')));
        fs.answer(0x00, {0x10, 0, 0, 0, 0x20, 0, 0, 0});
        fs.answer(0x00, {0, 3, 0, 9, 0});
    }

    ScriptedFs fs;
    FsDriver driver{fs.path(), fs};
    std::shared_ptr<FsFullStatus> status;
    std::string errors;
};

}  // namespace

TEST_F(FsFullStatusTest, BlankFsIsReadInStepsOneToNine) {
    scriptIdentity(1, 0);
    scriptRest();
    ASSERT_EQ(driver.readFullStatus(status, 0, 0, errors), fsresult::kOk);
    ASSERT_TRUE(status);
    EXPECT_TRUE(errors.empty()) << errors;
    // No lifetime counter without a registration, nothing of steps 10-12 before the fiscal mode.
    EXPECT_EQ(codes(fs.requests()),
              (std::vector<std::uint8_t>{0x31, 0x3A, 0x30, 0x32, 0x33, 0x3F, 0x3D, 0x10}));
    EXPECT_EQ(status->lastResult, 0);
    EXPECT_EQ(status->fsNumber, kFsNumber);
    EXPECT_EQ(status->ffdVersion, 4);
    EXPECT_EQ(status->ffdVersionSecond, 4);
    ASSERT_TRUE(status->status);
    EXPECT_EQ(status->phase(), 1);
    ASSERT_TRUE(status->lifetime);
    EXPECT_EQ(status->lifetime->lifetimeCounter, -1);
    EXPECT_EQ(status->version, "fn-v1.2.15");
    EXPECT_TRUE(status->versionFlag);
    EXPECT_EQ(status->release, std::string(48, 'R'));
    ASSERT_TRUE(status->memoryResource);
    EXPECT_EQ(status->memoryResource->first, 0x10u);
    ASSERT_TRUE(status->shiftState);
    EXPECT_EQ(status->shiftState->shiftNumber, 3);
    EXPECT_FALSE(status->exchangeStatus);
    EXPECT_TRUE(status->registerSerialNumber.empty());

    // A complete object is not read again; the counter of an unregistered FS is not asked for.
    const auto before = fs.requests().size();
    EXPECT_EQ(driver.readFullStatus(status, 0, 0, errors), fsresult::kOk);
    EXPECT_EQ(fs.requests().size(), before);
}

TEST_F(FsFullStatusTest, FiscalFsAlsoReadsCounterExchangeSerialAndLabels) {
    fs.setWall(localTime(2025, 2, 3, 4, 5));
    scriptIdentity(3, 2);
    fs.answer(0x00, {0x2C, 0x01});  // lifetime counter 300
    scriptRest();
    fs.answer(0x00, Bytes(13, 0));
    fs.answer(0x00, parameterAnswer(1013, "  0012345678\0"));
    fs.answer(0x00, Bytes(13, 0));

    const FsDriver::RegistrationFlags registration{0x1, 0x100};
    ASSERT_EQ(driver.readFullStatus(status, 0, 0x100, errors, registration), fsresult::kOk)
        << errors;
    EXPECT_EQ(codes(fs.requests()),
              (std::vector<std::uint8_t>{0x31, 0x3A, 0x30, 0x32, 0x3B, 0x33, 0x3F, 0x3D, 0x10, 0x20,
                                         0x44, 0xBA}));
    FsRep counterRequest;
    (void)counterRequest.fromFrame(fs.requests()[4]);
    const auto now = FsDateTime::encode(fs.now());
    EXPECT_EQ(counterRequest.data(), Bytes(now.begin(), now.end()));
    FsRep serialRequest;
    (void)serialRequest.fromFrame(fs.requests()[10]);
    EXPECT_EQ(serialRequest.data(), (Bytes{2, 0xF5, 0x03}));

    ASSERT_TRUE(status->lifetime);
    EXPECT_EQ(status->lifetime->lifetimeCounter, 300);
    EXPECT_TRUE(status->exchangeStatus);
    EXPECT_EQ(status->registerSerialNumber, "0012345678");
    EXPECT_TRUE(status->labelsTransport);
    EXPECT_EQ(status->lastResult, 0);
}

TEST_F(FsFullStatusTest, LabelsTransportOnlyForMarkedGoodsOnline) {
    struct Case {
        const char* name;
        std::uint32_t mode;
        std::uint32_t usage;
        std::optional<FsDriver::RegistrationFlags> registration;
    };
    const Case cases[] = {
        {"no registration data", 0, 0x100, std::nullopt},
        {"caller autonomous", 0x2, 0x100, FsDriver::RegistrationFlags{0, 0x100}},
        {"caller without marked goods", 0, 0, FsDriver::RegistrationFlags{0, 0x100}},
        {"registered autonomous", 0, 0x100, FsDriver::RegistrationFlags{0x2, 0x100}},
        {"registered without marked goods", 0, 0x100, FsDriver::RegistrationFlags{0, 0x200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        status.reset();
        const auto before = fs.requests().size();
        scriptIdentity(3, 1);
        fs.answer(0x00, {0x01, 0x00});
        scriptRest();
        fs.answer(0x00, Bytes(13, 0));
        fs.answer(0x00, parameterAnswer(1013, "1"));
        ASSERT_EQ(driver.readFullStatus(status, c.mode, c.usage, errors, c.registration),
                  fsresult::kOk);
        EXPECT_EQ(fs.requests().size() - before, 11u);
        EXPECT_FALSE(status->labelsTransport);
        EXPECT_EQ(fs.pendingAnswers(), 0u);
    }
}

TEST_F(FsFullStatusTest, VersionErrorStopsWithoutStoringTheResult) {
    scriptIdentity(1, 0);
    fs.answer(0x82);
    EXPECT_EQ(driver.readFullStatus(status, 0, 0, errors), 0x0502);
    EXPECT_EQ(errors, "fs version reading error 1282\n");
    EXPECT_EQ(status->lastResult, FsFullStatus::kNotRead);
    EXPECT_TRUE(status->status);
    EXPECT_TRUE(status->version.empty());
    EXPECT_FALSE(status->memoryResource);
}

TEST_F(FsFullStatusTest, StoredFailureMakesTheNextReadRefreshEverything) {
    scriptIdentity(1, 0);
    scriptRest();
    ASSERT_EQ(driver.readFullStatus(status, 0, 0, errors), fsresult::kOk);

    // The status answer is refused: the step stores its result.
    fs.answer(0x00, toBytes(kFsNumber));
    fs.answer(0x00, {0x04, 0x04});
    fs.answer(0x00, statusAnswer(2));
    status->lastResult = 7;  // as a failed step leaves it
    EXPECT_EQ(driver.readFullStatus(status, 0, 0, errors), fsresult::kMalformed);
    EXPECT_EQ(errors, "fs status reading error 1533\n");
    EXPECT_EQ(status->lastResult, fsresult::kMalformed);

    // Everything is read again, including what is already there.
    const auto before = fs.requests().size();
    scriptIdentity(1, 0);
    scriptRest();
    errors.clear();
    ASSERT_EQ(driver.readFullStatus(status, 0, 0, errors), fsresult::kOk) << errors;
    EXPECT_EQ(fs.requests().size() - before, 8u);
    EXPECT_EQ(status->lastResult, 0);
}

TEST_F(FsFullStatusTest, DisconnectedFsFailsAtTheFirstStep) {
    ScriptedFs clock;
    FsDriver disconnected("/nonexistent/ttyFS", clock);
    EXPECT_EQ(disconnected.readFullStatus(status, 0, 0, errors), fsresult::kNoAnswer);
    EXPECT_EQ(errors, "fs number reading error 1534\n");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->lastResult, fsresult::kNoAnswer);

    // With the FS number known the status read is the one that reports the closed port.
    status = std::make_shared<FsFullStatus>();
    status->fsNumber = kFsNumber;
    status->ffdVersionSecond = 4;
    status->lastResult = 0;
    errors.clear();
    EXPECT_EQ(disconnected.readFullStatus(status, 0, 0, errors), fsresult::kNoAnswer);
    EXPECT_EQ(errors, "fs status reading error 1534\n");
}

TEST_F(FsFullStatusTest, InvalidLifetimeIsDroppedAndCounterFailureIsReportedLast) {
    fs.answer(0x00, toBytes(kFsNumber));
    fs.answer(0x00, {0x04, 0x04});
    fs.answer(0x00, statusAnswer(3, false, 12));
    fs.answer(0x00, {26, 1, 31, 0, 30});  // no registrations left
    fs.answer(0x00, {0x01, 0x00});
    scriptRest();
    fs.answer(0x00, Bytes(13, 0));
    fs.answer(0x00, parameterAnswer(1013, "1"));
    ASSERT_EQ(driver.readFullStatus(status, 0, 0, errors), fsresult::kOk) << errors;
    EXPECT_FALSE(status->lifetime);
    // The serial number is asked for in the last report known, here none.
    FsRep serialRequest;
    (void)serialRequest.fromFrame(fs.requests().back());
    EXPECT_EQ(serialRequest.data(), (Bytes{0xF5, 0x03}));

    // A failing counter read does not stop the read, but it is its result when nothing ran
    // after it.
    auto fresh = std::make_shared<FsFullStatus>();
    scriptIdentity(3, 1);
    fs.answer(0x81);
    scriptRest();
    fs.answer(0x00, Bytes(13, 0));
    fs.answer(0x00, parameterAnswer(1013, "1"));
    ASSERT_EQ(driver.readFullStatus(fresh, 0, 0, errors), fsresult::kOk);
    ASSERT_TRUE(fresh->lifetime);
    EXPECT_EQ(fresh->lifetime->lifetimeCounter, -1);
    EXPECT_EQ(fresh->lastResult, 0);

    const auto before = fs.requests().size();
    fs.answer(0x81);
    EXPECT_EQ(driver.readFullStatus(fresh, 0, 0, errors), 0x0501);
    EXPECT_EQ(codes(fs.requests(), before), (std::vector<std::uint8_t>{0x3B}));
    EXPECT_EQ(fresh->lastResult, 0);
    EXPECT_TRUE(errors.empty()) << errors;
}
