#include "fs-emulator/FsFrameReader.hpp"

#include <gtest/gtest.h>

namespace kkt::sim {
namespace {

std::vector<FsRequest> feedAll(FsFrameReader& r, const Bytes& bytes) {
    std::vector<FsRequest> out;
    for (auto b : bytes) {
        if (auto f = r.feed(b))
            out.push_back(std::move(*f));
    }
    return out;
}

TEST(FsFrameReaderTest, BuildsFramesWithLengthCodeDataAndCrcOverAllButTheStartByte) {
    // 0x30 without data: 04 01 00 30 and the CRC-16/CCITT-FALSE of 01 00 30.
    EXPECT_EQ(FsFrameReader::frame(0x30, {}), (Bytes{0x04, 0x01, 0x00, 0x30, 0xFF, 0xCD}));
    const Bytes data = {1, 2, 3};
    const Bytes f = FsFrameReader::frame(0x07, data);
    ASSERT_EQ(f.size(), 9u);
    EXPECT_EQ(le::load16(&f[1]), 4);
}

TEST(FsFrameReaderTest, DropsNoiseFindsFramesAndFlagsBadCrc) {
    FsFrameReader r;
    Bytes stream = {0xFF, 0x00, 0x13};
    const Bytes a = FsFrameReader::frame(0x40, Bytes{1, 0, 0, 0});
    Bytes b = FsFrameReader::frame(0x30, {});
    b.back() ^= 1;
    const Bytes c = FsFrameReader::frame(0x07, Bytes{0x04, 0x04, 0x04});  // start bytes as data
    for (const Bytes* f : {&a, static_cast<const Bytes*>(&b), &c})
        stream.insert(stream.end(), f->begin(), f->end());
    const auto frames = feedAll(r, stream);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].code, 0x40);
    EXPECT_EQ(frames[0].data, (Bytes{1, 0, 0, 0}));
    EXPECT_TRUE(frames[0].crcOk);
    EXPECT_EQ(frames[1].code, 0x30);
    EXPECT_FALSE(frames[1].crcOk);
    EXPECT_EQ(frames[2].data, (Bytes{4, 4, 4}));
    EXPECT_TRUE(frames[2].crcOk);
    EXPECT_FALSE(r.inFrame());
}

TEST(FsFrameReaderTest, ALengthOfZeroIsNoFrameAndAResetDropsAPartialOne) {
    FsFrameReader r;
    const Bytes good = FsFrameReader::frame(0x31, {});
    Bytes stream = {0x04, 0x00, 0x00};
    stream.insert(stream.end(), good.begin(), good.end());
    const auto frames = feedAll(r, stream);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].code, 0x31);

    EXPECT_TRUE(feedAll(r, Bytes(good.begin(), good.end() - 2)).empty());
    EXPECT_TRUE(r.inFrame());
    r.reset();
    const auto after = feedAll(r, good);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_TRUE(after[0].crcOk);
}

}  // namespace
}  // namespace kkt::sim
