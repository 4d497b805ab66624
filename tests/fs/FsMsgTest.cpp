#include <gtest/gtest.h>

#include <ctime>

#include "fs/FsDateTime.hpp"
#include "fs/FsRep.hpp"
#include "fs/FsReq.hpp"
#include "fs/FsResult.hpp"
#include "primitives/Crc.hpp"

using namespace kkt;

namespace {

Bytes withCrc(Bytes frame) {
    le::append16(frame, Crc16::compute(ByteView(frame).subspan(1)));
    return frame;
}

std::time_t localTime(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = 0;
    return std::mktime(&tm);
}

}  // namespace

TEST(FsMsg, RequestFrameCoversLengthCodeAndDataWithCrc) {
    const auto frame = FsReq(0x30).toFrame();
    const auto crc = Crc16::compute(Bytes{0x01, 0x00, 0x30});
    EXPECT_EQ(frame, (Bytes{0x04, 0x01, 0x00, 0x30, static_cast<std::uint8_t>(crc),
                            static_cast<std::uint8_t>(crc >> 8)}));

    const auto withData = FsReq(0x40, Bytes{0x01, 0x02, 0x03, 0x04}).toFrame();
    EXPECT_EQ(withData, withCrc(Bytes{0x04, 0x05, 0x00, 0x40, 0x01, 0x02, 0x03, 0x04}));
    // The begin-registration request keeps its two bytes in the caller's order.
    EXPECT_EQ(FsReq::beginRegistration(1, 4).data(), (Bytes{1, 4}));
    EXPECT_EQ(FsReq::beginRegistration(1, 4).code(), 0xA2);
}

TEST(FsMsg, ParsesAnswerFramesAndReportsEachFault) {
    const Bytes good = withCrc({0x04, 0x03, 0x00, 0x00, 0xAB, 0xCD});
    Bytes badCrc = good;
    badCrc[badCrc.size() - 1] ^= 0x01;
    Bytes badStart = good;
    badStart[0] = 0x05;

    struct Case {
        const char* name;
        Bytes frame;
        FsFrameStatus status;
        std::uint8_t code;
        Bytes data;
    };
    const Case cases[] = {
        {"LEN 1 answer", withCrc({0x04, 0x01, 0x00, 0x00}), FsFrameStatus::Ok, 0x00, {}},
        {"with data", good, FsFrameStatus::Ok, 0x00, {0xAB, 0xCD}},
        // A flipped CRC bit is reported, but code and data are still there to look at.
        {"bad CRC", badCrc, FsFrameStatus::BadCrc, 0x00, {0xAB, 0xCD}},
        {"bad start", badStart, FsFrameStatus::BadStart, 0x7F, {}},
        {"too short", {0x04, 0x01, 0x00, 0x00, 0x00}, FsFrameStatus::TooShort, 0x7F, {}},
        {"length mismatch", withCrc({0x04, 0x02, 0x00, 0x00}), FsFrameStatus::BadLength, 0x7F, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FsRep rep;
        EXPECT_EQ(rep.status(), FsFrameStatus::Nothing);
        EXPECT_EQ(rep.fromFrame(c.frame), c.status);
        EXPECT_EQ(rep.status(), c.status);
        EXPECT_EQ(rep.code(), c.code);
        EXPECT_EQ(rep.data(), c.data);
        EXPECT_EQ(rep.isValid(), c.status == FsFrameStatus::Ok);
    }
}

TEST(FsMsg, ParsingClearsEarlierData) {
    FsRep rep;
    ASSERT_EQ(rep.fromFrame(withCrc({0x04, 0x02, 0x00, 0x00, 0x11})), FsFrameStatus::Ok);
    EXPECT_EQ(rep.fromFrame(Bytes{0x04}), FsFrameStatus::TooShort);
    EXPECT_TRUE(rep.data().empty());
}

TEST(FsMsg, AnswerCodesMapToResultCodes) {
    struct Case {
        std::uint8_t code;
        std::uint8_t error;
        std::uint16_t result;
    };
    const Case cases[] = {
        {0x00, 0x00, fsresult::kOk},
        {0x81, 0x01, 0x0501},
        {0x08, 0x08, 0x0508},
        {0x88, 0x08, 0x0508},
        {0x3C, 0x3C, 0x053C},
        {0x0E, 0x0E, 0x050E},
        {0x3E, 0x3E, fsresult::kUnknown},
        {0x13, 0x7F, fsresult::kUnknown},
        {0x0F, 0x7F, fsresult::kUnknown},
        {0x3D, 0x7F, fsresult::kUnknown},
        {0x7F, 0x7F, fsresult::kUnknown},
        {0xFF, 0x7F, fsresult::kUnknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << int(c.code));
        FsRep rep;
        ASSERT_EQ(rep.fromFrame(withCrc({0x04, 0x01, 0x00, c.code})), FsFrameStatus::Ok);
        EXPECT_EQ(rep.errorCode(), c.error);
        EXPECT_EQ(rep.resultCode(), c.result);
        EXPECT_EQ(rep.isValid(), c.error != 0x7F);
    }
    // A fresh reply (nothing received) never counts as an answer.
    EXPECT_EQ(FsRep{}.resultCode(), fsresult::kUnknown);
    EXPECT_FALSE(FsRep{}.isValid());
}

TEST(FsMsg, RequestTableLetsOnlyAllowedLengthsThrough) {
    struct Case {
        std::uint8_t code;
        std::size_t size;
        bool valid;
    };
    const Case cases[] = {
        {0x30, 0, true},  {0x30, 7, true},   {0x46, 0, true},  {0x44, 3, true},   {0x36, 1, true},
        {0x36, 0, false}, {0x36, 2, false},  {0xA2, 2, true},  {0xA2, 1, false},  {0x40, 4, true},
        {0x40, 3, false}, {0x45, 4, true},   {0x15, 5, true},  {0x15, 4, false},  {0x3B, 5, true},
        {0x16, 11, true}, {0x16, 10, false}, {0x05, 25, true}, {0x05, 24, false}, {0xA3, 52, true},
        {0xA3, 56, true}, {0xA3, 54, false}, {0x07, 1, true},  {0x07, 0, false},  {0xB7, 9, true},
        {0xB7, 0, false}, {0x7F, 0, false},  {0x00, 0, false}, {0x08, 0, false},  {0x34, 0, false},
        {0x3E, 0, false}, {0xFF, 1, false},  {0xB4, 0, false}, {0xD2, 1, false},  {0xD0, 5, true},
        {0xBA, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << int(c.code) << " size " << c.size);
        EXPECT_EQ(FsReq(c.code, Bytes(c.size, 0x01)).isValid(), c.valid);
    }
    EXPECT_FALSE(FsReq{}.isValid());
}

TEST(FsDateTime, EncodesLocalTimeAndDecodesItBack) {
    const auto t = localTime(2024, 12, 5, 14, 37);
    EXPECT_EQ(FsDateTime::encode(t), (FsDateTime::Field{24, 12, 5, 14, 37}));
    const auto field = FsDateTime::encode(t);
    EXPECT_EQ(FsDateTime::decode(field), t);
    // Seconds are not kept.
    EXPECT_EQ(FsDateTime::decode(FsDateTime::encode(t + 59)), t);
    const Bytes date{24, 12, 5};
    EXPECT_EQ(FsDateTime::decodeDate(date), localTime(2024, 12, 5, 0, 0));
}

TEST(FsDateTime, TimesTheFieldCannotHoldAreZero) {
    EXPECT_EQ(FsDateTime::encode(localTime(2000, 12, 31, 23, 59)), FsDateTime::Field{});
    EXPECT_EQ(FsDateTime::encode(0), FsDateTime::Field{});
    EXPECT_EQ(FsDateTime::encode(localTime(2001, 1, 1, 0, 0)), (FsDateTime::Field{1, 1, 1, 0, 0}));

    struct Case {
        const char* name;
        Bytes field;
    };
    const Case cases[] = {
        {"no time", {0, 0, 0, 0, 0}},     {"4 bytes", {24, 1, 1, 0}},
        {"6 bytes", {24, 1, 1, 0, 0, 0}}, {"month 13", {24, 13, 1, 0, 0}},
        {"day 0", {24, 1, 0, 0, 0}},      {"31 February", {24, 2, 31, 0, 0}},
        {"hour 24", {24, 1, 1, 24, 0}},   {"minute 60", {24, 1, 1, 0, 60}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FsDateTime::decode(c.field), 0);
    }
    EXPECT_EQ(FsDateTime::decodeDate(Bytes{24, 1}), 0);
    EXPECT_EQ(FsDateTime::decodeDate(Bytes{24, 1, 1, 0, 0}), 0);
}
