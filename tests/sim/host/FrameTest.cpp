#include "host/Frame.hpp"

#include <gtest/gtest.h>

#include "host/FrameParser.hpp"
#include "primitives/Crc.hpp"

namespace kkt::sim {
namespace {

TEST(FrameTest, VersionRequestWithoutIdIsCodeAloneWithCrcOverLenAndPayload) {
    const auto frame = encodeFrame(requestPayload(307, std::nullopt, toBytes("dropped")));
    const Bytes body{0x02, 0x00, 0x33, 0x01};
    const auto crc = Crc16::compute(body);
    const Bytes expected{0x04,
                         0x02,
                         0x00,
                         0x33,
                         0x01,
                         static_cast<std::uint8_t>(crc),
                         static_cast<std::uint8_t>(crc >> 8)};
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(Crc16::compute(asBytes("123456789")), 0x29B1);  // the CCITT-FALSE check value
}

TEST(FrameTest, RequestWithIdCarriesIdAndDataLittleEndian) {
    const auto p = requestPayload(0x0101, 0x11223344, Bytes{0xAA, 0xBB});
    EXPECT_EQ(p, (Bytes{0x01, 0x01, 0x44, 0x33, 0x22, 0x11, 0xAA, 0xBB}));
}

TEST(FrameTest, SplitPayloadTakesIdOnlyWhenFourBytesFollowTheCode) {
    struct Case {
        Bytes payload;
        bool ok, hasId;
        std::uint32_t id;
        std::size_t dataSize;
    } cases[] = {
        {{0x33}, false, false, 0, 0},
        {{0x33, 0x01}, true, false, 0, 0},
        {{0x33, 0x01, 1, 2, 3}, true, false, 0, 0},  // 1 to 3 trailing bytes are ignored
        {{0x33, 0x01, 1, 0, 0, 0}, true, true, 1, 0},
        {{0x33, 0x01, 1, 0, 0, 0, 9, 9}, true, true, 1, 2},
    };
    for (const auto& c : cases) {
        auto a = splitPayload(c.payload);
        ASSERT_EQ(a.has_value(), c.ok);
        if (!a)
            continue;
        EXPECT_EQ(a->code, 307);
        EXPECT_EQ(a->hasId, c.hasId);
        EXPECT_EQ(a->id, c.id);
        EXPECT_EQ(a->data.size(), c.dataSize);
    }
}

TEST(FrameParserTest, SkipsNoiseAndRecoversAfterBadCrcAndBadLength) {
    FrameParser p;
    const auto good = encodeFrame(answerPayload(0, 7, toBytes("1.1.11")));
    auto bad = encodeFrame(answerPayload(0, 8, {}));
    bad.back() ^= 0xFF;
    Bytes stream{0x00, 0x55};
    stream.insert(stream.end(), {0x04, 0x01, 0x00});  // LEN 1 is impossible
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), good.begin(), good.end());

    // Byte by byte: the parser must not depend on how the stream is cut.
    std::vector<FrameParser::Kind> kinds;
    Bytes lastPayload;
    for (auto b : stream) {
        p.feed(ByteView(&b, 1));
        while (auto ev = p.next()) {
            kinds.push_back(ev->kind);
            lastPayload = ev->payload;
        }
    }
    ASSERT_EQ(kinds.size(), 3u);
    EXPECT_EQ(kinds[0], FrameParser::Kind::BadLength);
    EXPECT_EQ(kinds[1], FrameParser::Kind::BadCrc);
    EXPECT_EQ(kinds[2], FrameParser::Kind::Frame);
    EXPECT_EQ(lastPayload, answerPayload(0, 7, toBytes("1.1.11")));
    EXPECT_FALSE(p.inFrame());
}

TEST(FrameParserTest, WaitsForTheRestOfAFrame) {
    FrameParser p;
    const auto f = encodeFrame(answerPayload(0, 1, Bytes(100, 0x04)));  // STX bytes inside
    p.feed(ByteView(f).first(50));
    EXPECT_FALSE(p.next());
    EXPECT_TRUE(p.inFrame());
    p.feed(ByteView(f).subspan(50));
    auto ev = p.next();
    ASSERT_TRUE(ev);
    EXPECT_EQ(ev->kind, FrameParser::Kind::Frame);
    EXPECT_EQ(ev->payload.size(), 106u);
}

}  // namespace
}  // namespace kkt::sim
