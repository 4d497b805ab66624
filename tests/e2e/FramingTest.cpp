// The host link's framing as a point-of-sale host sees it through the virtual board's USB port.

#include <gtest/gtest.h>

#include "BoardSupport.hpp"
#include "host/Frame.hpp"
#include "host/ResultCodes.hpp"

namespace kkt::e2e {
namespace {

using sim::Answer;
using sim::encodeFrame;
namespace result = sim::result;

constexpr std::uint16_t kVersion = 307;

class FramingTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { board_ = std::make_unique<VirtualBoard>(); }
    static void TearDownTestSuite() {
        EXPECT_EQ(board_->stop(), 0);
        board_.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(board_->started()) << board_->error();
        client_ = board_->client();
        ASSERT_TRUE(client_);
        client_->setTimeout(10s);
    }

    // Sends raw bytes and returns the one answer they produce.
    sim::Reply sendAndReceive(ByteView bytes) {
        client_->discardInput();
        std::string error;
        EXPECT_TRUE(client_->sendRaw(bytes, error)) << error;
        return client_->receive(10s);
    }

    void expectVersionWorks() {
        const auto r = client_->request(kVersion);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.answer.code, result::kOk);
        EXPECT_EQ(asString(r.answer.data), "1.1.11");
    }

    static std::unique_ptr<VirtualBoard> board_;
    std::unique_ptr<sim::HostClient> client_;
};

std::unique_ptr<VirtualBoard> FramingTest::board_;

TEST_F(FramingTest, VersionWithoutIdOrWithShortTailGetsAGeneratedId) {
    auto r = client_->requestWithoutId(kVersion);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.answer.code, result::kOk);
    EXPECT_NE(r.answer.id, 0u);
    EXPECT_EQ(asString(r.answer.data), "1.1.11");

    // 3 bytes after the code are dropped, and the id is made up as well.
    r = sendAndReceive(encodeFrame(Bytes{0x33, 0x01, 0xAA, 0xBB, 0xCC}));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.answer.code, result::kOk);
    EXPECT_NE(r.answer.id, 0u);
    EXPECT_EQ(asString(r.answer.data), "1.1.11");
}

TEST_F(FramingTest, ImpossibleLengthsAndBadCrcAreAnsweredWithIdZero) {
    Bytes badCrc = encodeFrame(sim::requestPayload(kVersion, 0x1234, {}));
    badCrc.back() ^= 0x5A;
    struct Case {
        const char* what;
        Bytes bytes;
        std::uint16_t code;
    } cases[] = {
        {"LEN 1", {0x04, 0x01, 0x00}, result::kBadLength},
        {"LEN 8193", {0x04, 0x01, 0x20}, result::kBadLength},
        {"bad CRC", badCrc, result::kBadCrc},
    };
    for (const auto& c : cases) {
        const auto r = sendAndReceive(c.bytes);
        ASSERT_TRUE(r.ok()) << c.what << ": " << r.error;
        EXPECT_EQ(r.answer.code, c.code) << c.what;
        EXPECT_EQ(r.answer.id, 0u) << c.what;
        EXPECT_TRUE(r.answer.data.empty()) << c.what;
        EXPECT_TRUE(client_->quietFor(200ms)) << c.what << ": a second answer followed";
        expectVersionWorks();
    }
}

TEST_F(FramingTest, FrameOver2048IsRefusedOnceAndItsRestSkippedButAFull2048Passes) {
    // LEN 2049: refused after the command code; the remaining bytes are noise to the link.
    Bytes big{0x04, 0x01, 0x08, 0x33, 0x01};
    big.resize(3 + 2049 + 2, 0x00);
    auto r = sendAndReceive(big);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.answer.code, result::kBadLength);
    EXPECT_TRUE(client_->quietFor(300ms)) << "the rest of the frame was answered";
    expectVersionWorks();

    // The largest accepted frame: 2048 payload bytes, which reach the board in pieces.
    r = client_->request(kVersion, Bytes(2042, 0x04));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.answer.code, result::kOk);
    EXPECT_EQ(asString(r.answer.data), "1.1.11");
}

TEST_F(FramingTest, EnqRepeatsTheLastAnswerExactly) {
    const auto first = client_->request(kVersion);
    ASSERT_TRUE(first.ok()) << first.error;
    for (int i = 0; i < 2; ++i) {
        const auto again = client_->enq();
        ASSERT_TRUE(again.ok()) << again.error;
        EXPECT_EQ(again.answer.code, first.answer.code);
        EXPECT_EQ(again.answer.id, first.answer.id);
        EXPECT_EQ(again.answer.data, first.answer.data);
    }
}

TEST_F(FramingTest, NoiseIsSkippedAndAStrayByteAloneIsNotAnswered) {
    client_->discardInput();
    std::string error;
    ASSERT_TRUE(client_->sendRaw(Bytes{0x42}, error)) << error;
    EXPECT_TRUE(client_->quietFor(300ms));

    const std::uint32_t id = 0x0BADF00D;
    Bytes noisy{0x00, 0xFF, 0x13, 0x37};
    const auto frame = encodeFrame(sim::requestPayload(kVersion, id, {}));
    noisy.insert(noisy.end(), frame.begin(), frame.end());
    const auto r = sendAndReceive(noisy);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.answer.code, result::kOk);
    EXPECT_EQ(r.answer.id, id);
    EXPECT_TRUE(client_->quietFor(200ms));
}

}  // namespace
}  // namespace kkt::e2e
