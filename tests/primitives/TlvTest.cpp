#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "primitives/Cp866.hpp"
#include "primitives/Tlv.hpp"

using namespace kkt;
using namespace kkt::literals;

namespace {

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Tlv text(std::uint16_t tag, std::string_view s) {
    return Tlv().setText(tag, s);
}

}  // namespace

TEST(Tlv, EncodeAndValidity) {
    EXPECT_EQ(text(1048, "ABC").encode(), (Bytes{0x18, 0x04, 0x03, 0x00, 0x41, 0x42, 0x43}));
    EXPECT_EQ(Tlv(1048, {}).encode(), (Bytes{0x18, 0x04, 0x00, 0x00}));
    EXPECT_TRUE(Tlv().encode().empty());
    EXPECT_TRUE(text(0, "ABC").encode().empty());
    EXPECT_FALSE(Tlv().isValid());

    // 65534 bytes is the longest value; 65535 is not valid and is never encoded.
    const Tlv longest(1, Bytes(0xFFFE, 0x55));
    EXPECT_TRUE(longest.isValid());
    EXPECT_EQ(longest.encode().size(), 4u + 0xFFFE);
    EXPECT_EQ(le::read16(longest.encode(), 2), 0xFFFE);
    const Tlv tooLong(1, Bytes(0xFFFF, 0x55));
    EXPECT_FALSE(tooLong.isValid());
    EXPECT_TRUE(tooLong.encode().empty());
}

TEST(Tlv, FixedSizeWriters) {
    struct Case {
        Tlv t;
        Bytes value;
    } cases[] = {
        {Tlv().setByte(1, 0xAB), {0xAB}},
        {Tlv().setFlag(1, true), {0x01}},
        {Tlv().setFlag(1, false), {0x00}},
        {Tlv().setU16(1, 0x1234), {0x34, 0x12}},
        {Tlv().setU32(1, 0x12345678), {0x78, 0x56, 0x34, 0x12}},
        {Tlv().setU64(1, 0x0102030405060708ull), {8, 7, 6, 5, 4, 3, 2, 1}},
        {Tlv().setBytes(1, Bytes{0, 1, 0}), {0, 1, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.t.value(), c.value);
    // A writer replaces both tag and value.
    Tlv t = text(5, "long value");
    t.setByte(6, 1);
    EXPECT_EQ(t, Tlv(6, {1}));
}

TEST(Tlv, VlnAndFvlnWriters) {
    struct Case {
        std::uint64_t v;
        Bytes value;
    } cases[] = {
        {0, {0x00}},
        {1, {0x01}},
        {256, {0x00, 0x01}},
        {0x0102030405060708ull, {8, 7, 6, 5, 4, 3, 2, 1}},
        {0xFF00000000000000ull, {0, 0, 0, 0, 0, 0, 0, 0xFF}},
    };
    for (const auto& c : cases) {
        const Tlv t = Tlv().setVln(1, c.v);
        EXPECT_EQ(t.value(), c.value) << c.v;
        EXPECT_EQ(t.asVln(), c.v);
    }
    EXPECT_EQ(Tlv().setFvln(1, Decimal(100, 1250)).value(), (Bytes{0x02, 0xE2, 0x04}));
    EXPECT_EQ(Tlv().setFvln(1, Decimal(100000, 0)).value(), (Bytes{0x05, 0x00}));
    EXPECT_EQ(Tlv().setFvln(1, Decimal(1, 7)).value(), (Bytes{0x00, 0x07}));
}

TEST(Tlv, InnWriterAndReader) {
    struct Case {
        std::string_view in, written;
    } cases[] = {
        {"7707083893", "7707083893  "},
        {" 7707 083 893", "7707083893  "},
        {"500100732259", "500100732259"},
        {"7707083894", "000000000000"},
        {"", "000000000000"},
        {"000000000000", "000000000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tlv().setInn(1018, c.in).asText(), c.written) << c.in;

    struct Read {
        std::string_view value, inn;
        bool ok;
    } reads[] = {
        {"7707083893  ", "7707083893", true},
        {"\t500100 732259 ", "500100732259", true},
        {"000000000000", "", false},
        {"7707083894  ", "7707083894", false},
        {"", "", false},
    };
    for (const auto& r : reads) {
        bool ok = !r.ok;
        EXPECT_EQ(text(1018, r.value).asInn(&ok), r.inn) << r.value;
        EXPECT_EQ(ok, r.ok) << r.value;
    }
}

TEST(Tlv, FixedSizeReadersRefuseOtherLengths) {
    struct Case {
        Bytes value;
        std::uint16_t tag = 1;
        int byte, u16;
        std::uint32_t u32;
        std::uint64_t u64, u32OrU64;
        bool byteOk, u16Ok, u32Ok, u64Ok;
    } cases[] = {
        {{}, 1, 0, 0, 0, 0, 0, false, false, false, false},
        {{0x01}, 1, 1, 0, 0, 0, 0, true, false, false, false},
        {{0x34, 0x12}, 1, 0, 0x1234, 0, 0, 0, false, true, false, false},
        {{1, 2, 3}, 1, 0, 0, 0, 0, 0, false, false, false, false},
        {{0x78, 0x56, 0x34, 0x12}, 1, 0, 0, 0x12345678, 0, 0x12345678, false, false, true, false},
        // The fiscal sign's 6-byte form: bytes 2-5, most significant first.
        {{0, 0, 0x12, 0x34, 0x56, 0x78}, 1077, 0, 0, 0x12345678, 0, 0, false, false, true, false},
        {{0, 0, 0x12, 0x34, 0x56, 0x78}, 1040, 0, 0, 0, 0, 0, false, false, false, false},
        {{0, 0, 0x12, 0x34, 0x56}, 1077, 0, 0, 0, 0, 0, false, false, false, false},
        // All 64 bits: a time or counter above 2^32 must not lose its high half.
        {{8, 7, 6, 5, 4, 3, 2, 1},
         1,
         0,
         0,
         0,
         0x0102030405060708ull,
         0x0102030405060708ull,
         false,
         false,
         false,
         true},
    };
    for (const auto& c : cases) {
        const Tlv t(c.tag, c.value);
        const auto what =
            "tag " + std::to_string(c.tag) + " length " + std::to_string(c.value.size());
        bool ok = !c.byteOk;
        EXPECT_EQ(t.asByte(&ok), c.byte) << what;
        EXPECT_EQ(ok, c.byteOk) << what;
        ok = !c.u16Ok;
        EXPECT_EQ(t.asU16(&ok), c.u16) << what;
        EXPECT_EQ(ok, c.u16Ok) << what;
        ok = !c.u32Ok;
        EXPECT_EQ(t.asU32(&ok), c.u32) << what;
        EXPECT_EQ(ok, c.u32Ok) << what;
        ok = !c.u64Ok;
        EXPECT_EQ(t.asU64(&ok), c.u64) << what;
        EXPECT_EQ(ok, c.u64Ok) << what;
        EXPECT_EQ(t.asU32OrU64(), c.u32OrU64) << what;
    }
}

TEST(Tlv, FlagReader) {
    struct Case {
        Bytes value;
        bool flag, ok;
    } cases[] = {{{1}, true, true}, {{0}, false, true}, {{2}, false, true}, {{1, 1}, false, false}};
    for (const auto& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(Tlv(1, c.value).asFlag(&ok), c.flag);
        EXPECT_EQ(ok, c.ok);
    }
}

TEST(Tlv, VlnAndFvlnReaders) {
    struct Case {
        Bytes value;
        std::uint64_t vln;
    } cases[] = {
        {{}, 0},
        {{0x01}, 1},
        {{0x00, 0x01}, 256},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0x0807060504030201ull},  // first 8 bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tlv(1, c.value).asVln(), c.vln);

    struct Fvln {
        Bytes value;
        std::uint32_t scale;
        std::int64_t raw;
    } fvlns[] = {
        {{0x02, 0xE2, 0x04}, 100, 1250},
        {{0x03, 0x10, 0x27}, 1000, 10000},
        {{0x05}, 100000, 0},
        {{}, 1, 0},
        {{0x00, 0x07}, 1, 7},
        {{0x02, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, 100, 1},  // extra bytes ignored
        {{0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 100, -1},
        {{0x0A, 0x01}, 0, 1},  // 10^10 does not fit the scale
        {{0xFF, 0x01}, 0, 1},
    };
    for (const auto& f : fvlns) {
        const Decimal d = Tlv(1, f.value).asFvln();
        EXPECT_EQ(d.scale(), f.scale);
        EXPECT_EQ(d.raw(), f.raw);
    }
    // Round trip through the writer.
    const Decimal q(100000, 1500000);
    EXPECT_EQ(Tlv().setFvln(1023, q).asFvln().raw(), q.raw());
    EXPECT_EQ(Tlv().setFvln(1023, q).asFvln().scale(), q.scale());
}

TEST(Tlv, TakeOneAdvancesOnlyOverCompleteElements) {
    const Bytes data = concat({text(1048, "ABC").encode(), Tlv().setByte(1055, 1).encode()});
    ByteView buffer = data;
    Tlv t;
    ASSERT_TRUE(Tlv::takeOne(buffer, t));
    EXPECT_EQ(t, text(1048, "ABC"));
    EXPECT_EQ(buffer.size(), 5u);
    ASSERT_TRUE(Tlv::takeOne(buffer, t));
    EXPECT_EQ(t, Tlv(1055, {1}));
    EXPECT_TRUE(buffer.empty());
    EXPECT_FALSE(Tlv::takeOne(buffer, t));
    EXPECT_EQ(t, Tlv());

    // A length field that promises more than the buffer holds leaves the buffer as it was.
    for (const Bytes& bad : {Bytes{0x18, 0x04, 0x03, 0x00, 0x41, 0x42}, Bytes{0x18, 0x04, 0xFF},
                             Bytes{0x18, 0x04, 0xFF, 0xFF, 0x41}, Bytes{0x18}}) {
        buffer = bad;
        t = text(7, "old");
        EXPECT_FALSE(Tlv::takeOne(buffer, t));
        EXPECT_EQ(buffer.size(), bad.size());
        EXPECT_EQ(t, Tlv());
    }
}

TEST(Tlv, ParseSequence) {
    const Bytes abc = text(1048, "ABC").encode();
    const Bytes one = Tlv().setByte(1055, 1).encode();
    const Bytes zeroTag = {0x00, 0x00, 0x01, 0x00, 0x09};
    struct Case {
        const char* what;
        Bytes data;
        TlvList expected;
        bool ok;
    } cases[] = {
        {"two complete", concat({abc, one}), {text(1048, "ABC"), Tlv(1055, {1})}, true},
        {"truncated only", {0x18, 0x04, 0x03, 0x00, 0x41, 0x42}, {}, false},
        {"truncated last",
         concat({abc, {0x1F, 0x04, 0x05, 0x00, 0x01}}),
         {text(1048, "ABC")},
         false},
        {"stray byte", concat({abc, {0x01}}), {text(1048, "ABC")}, false},
        {"tag 0 skipped", concat({zeroTag, one}), {Tlv(1055, {1})}, true},
        {"only tag 0", zeroTag, {}, false},
        {"empty", {}, {}, false},
        {"empty value", {0x18, 0x04, 0x00, 0x00}, {Tlv(1048, {})}, true},
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(Tlv::parseSequence(c.data, &ok), c.expected) << c.what;
        EXPECT_EQ(ok, c.ok) << c.what;
    }
}

TEST(Tlv, StlvWriterAndParsers) {
    const TlvList children = {text(1030, "first"), Tlv().setVln(1079, 100), Tlv(),
                              text(1030, "second")};
    Tlv stlv;
    stlv.setStlv(1059, children);
    // The invalid child is not encoded.
    EXPECT_EQ(stlv.value(),
              concat({children[0].encode(), children[1].encode(), children[3].encode()}));

    bool ok = false;
    const TlvList list = stlv.parseList(&ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(list, (TlvList{children[0], children[1], children[3]}));

    ok = false;
    const TlvMap map = stlv.parseMap(&ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at(1030).asText(), "first");

    ok = false;
    const TlvMultimap multi = stlv.parseMultimap(&ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(multi.count(1030), 2u);
    auto [from, to] = multi.equal_range(1030);
    EXPECT_EQ(from->second.asText(), "first");
    EXPECT_EQ(std::next(from)->second.asText(), "second");
    EXPECT_EQ(std::next(from, 2), to);

    // An invalid STLV gives nothing.
    const Tlv noTag(0, stlv.value());
    ok = true;
    EXPECT_TRUE(noTag.parseList(&ok).empty());
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_TRUE(noTag.parseMap(&ok).empty());
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_TRUE(noTag.parseMultimap(&ok).empty());
    EXPECT_FALSE(ok);
    // A truncated child keeps those before it, with ok false.
    Bytes cut = stlv.value();
    cut.pop_back();
    ok = true;
    EXPECT_EQ(Tlv(1059, cut).parseMap(&ok).size(), 2u);
    EXPECT_FALSE(ok);
}

TEST(Tlv, ReadOneNeedsExactlyOneElement) {
    struct Case {
        Bytes data;
        bool result;
        Tlv element;
    } cases[] = {
        {{0x18, 0x04, 0x03, 0x00, 0x41, 0x42, 0x43}, true, text(1048, "ABC")},
        {{0x18, 0x04, 0x03, 0x00, 0x41, 0x42, 0x43, 0x44}, false, Tlv(1048, {})},
        {{0x18, 0x04, 0x03, 0x00, 0x41, 0x42}, false, Tlv(1048, {})},
        {{0x18, 0x04, 0xFF, 0xFF}, false, Tlv(1048, {})},
        {{0x18, 0x04, 0x00, 0x00}, true, Tlv(1048, {})},
        {{0x18, 0x04, 0x03}, false, Tlv()},
        {{}, false, Tlv()},
    };
    for (const auto& c : cases) {
        Tlv t = text(9, "previous");
        EXPECT_EQ(t.readOne(c.data), c.result);
        EXPECT_EQ(t, c.element);
    }
}

TEST(Tlv, EncodeParseEncodeRoundTrip) {
    const TlvList inner = {Tlv().setU32(1040, 77), Tlv().setInn(1228, "500100732259")};
    const TlvList elements = {text(1048, "ООО \"Ромашка\""_cp866), Tlv().setStlv(1059, inner),
                              Tlv().setFvln(1023, Decimal(1000, 2500)), Tlv(1055, {})};
    const Bytes wire = Tlv::encodeList(elements);
    bool ok = false;
    const TlvList parsed = Tlv::parseSequence(wire, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(parsed, elements);
    EXPECT_EQ(Tlv::encodeList(parsed), wire);
    EXPECT_EQ(parsed[1].parseList(&ok), inner);
}
