#include "EscPosInterpreter.hpp"

#include <gtest/gtest.h>

#include <random>

#include "PrinterTestSupport.hpp"
#include "primitives/Cp866.hpp"

namespace kkt::sim {
namespace {

using namespace kkt::literals;
using test::cat;
using test::hexBytes;

// The set-up the register sends before every text, and a style prefix with everything off.
const Bytes kSetUp = hexBytes("1D 64 00 1D 50 00 00 1B 74 07");
const Bytes kPlain = hexBytes("1B 61 00 1B 33 01 1B 21 00 1D 42 00");

struct Result {
    std::vector<Receipt> receipts;  // the cut ones, then the paper after the last cut
    std::vector<Warning> warnings;
    Bytes answers;
};

Result interpret(ByteView bytes, const PrinterConditions& conditions = PrinterConditions{},
                 PaperWidth paper = PaperWidth::Mm58) {
    EscPosInterpreter interpreter(paper, conditions);
    Result r;
    r.answers = interpreter.feed(bytes);
    interpreter.finish();
    r.receipts = interpreter.takeReceipts();
    r.receipts.push_back(interpreter.current());
    r.warnings = interpreter.takeWarnings();
    return r;
}

std::vector<TextLine> lines(const Receipt& receipt) {
    std::vector<TextLine> out;
    for (const auto& item : receipt.items) {
        if (const auto* line = std::get_if<TextLine>(&item))
            out.push_back(*line);
    }
    return out;
}

std::string warningText(const std::vector<Warning>& warnings) {
    std::string out;
    for (const auto& w : warnings)
        out += std::to_string(w.offset) + ": " + w.text + "\n";
    return out;
}

TEST(EscPosInterpreterTest, StylePrefixesGiveTheLineTheirAttributes) {
    struct Case {
        const char* name;
        const char* prefix;
        TextStyle style;
        Alignment alignment;
        int spacing;
    };
    const auto style = [](Font f, bool bold, bool dbl, bool inverse) {
        TextStyle s;
        s.font = f;
        s.bold = bold;
        s.doubleWidth = s.doubleHeight = dbl;
        s.inverse = inverse;
        return s;
    };
    const Case cases[] = {
        {"plain large", "1B 61 00 1B 33 01 1B 21 00 1D 42 00", style(Font::A, false, false, false),
         Alignment::Left, 1},
        {"small font", "1B 61 00 1B 33 47 1B 21 01 1D 42 00", style(Font::B, false, false, false),
         Alignment::Left, 71},
        {"bold centred", "1B 61 01 1B 33 8D 1B 21 08 1D 42 00", style(Font::A, true, false, false),
         Alignment::Centre, 141},
        {"double inverse right", "1B 61 02 1B 33 FF 1B 21 30 1D 42 01",
         style(Font::A, false, true, true), Alignment::Right, 255},
        {"all of them", "1B 61 01 1B 33 01 1B 21 39 1D 42 01", style(Font::B, true, true, true),
         Alignment::Centre, 1},
        {"digit selectors", "1B 61 32 1B 4D 31 1B 45 01 1D 21 11",
         style(Font::B, true, true, false), Alignment::Right, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = interpret(cat({kSetUp, hexBytes(c.prefix), asBytes("ИТОГ 12.50\n"_cp866)}));
        const auto got = lines(r.receipts.back());
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].text(), "ИТОГ 12.50"_cp866);
        EXPECT_EQ(got[0].style, c.style);
        ASSERT_EQ(got[0].runs.size(), 1u);
        EXPECT_EQ(got[0].runs[0].style, c.style);
        EXPECT_EQ(got[0].alignment, c.alignment);
        EXPECT_EQ(got[0].lineSpacing, c.spacing);
        EXPECT_EQ(warningText(r.warnings), "");
    }
}

TEST(EscPosInterpreterTest, TextLayoutOnThePaper) {
    struct Case {
        const char* name;
        Bytes bytes;
        PaperWidth paper;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"empty lines stay", toBytes("A\n\nB\n"), PaperWidth::Mm58, {"A", "", "B"}},
        {"carriage return ignored", toBytes("A\r\n"), PaperWidth::Mm58, {"A"}},
        {"tab to the next stop of 8", toBytes("AB\tC\t\n"), PaperWidth::Mm58, {"AB      C       "}},
        {"34 large characters fit the narrow roll", Bytes(34, 'x'), PaperWidth::Mm58, {}},
        {"the 35th goes on the next line",
         cat({Bytes(35, 'x'), asBytes(std::string_view("\n"))}),
         PaperWidth::Mm58,
         {std::string(34, 'x'), "x"}},
        {"48 large characters on the wide roll",
         cat({Bytes(49, 'y'), asBytes(std::string_view("\n"))}),
         PaperWidth::Mm80,
         {std::string(48, 'y'), "y"}},
        {"45 small characters on the narrow roll",
         cat({hexBytes("1B 21 01"), Bytes(46, 'z'), asBytes(std::string_view("\n"))}),
         PaperWidth::Mm58,
         {std::string(45, 'z'), "z"}},
        {"17 double large characters",
         cat({hexBytes("1B 21 30"), Bytes(18, 'w'), hexBytes("0A")}),
         PaperWidth::Mm58,
         {std::string(17, 'w'), "w"}},
        {"ESC d prints and feeds",
         cat({asBytes(std::string_view("A")), hexBytes("1B 64 02")}),
         PaperWidth::Mm58,
         {"A", ""}},
        {"reset drops unprinted text",
         cat({asBytes(std::string_view("lost")), hexBytes("1B 40"),
              asBytes(std::string_view("kept\n"))}),
         PaperWidth::Mm58,
         {"kept"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = interpret(cat({kSetUp, c.bytes}), PrinterConditions{}, c.paper);
        std::vector<std::string> got;
        for (const auto& line : lines(r.receipts.back()))
            got.push_back(line.text());
        EXPECT_EQ(got, c.expected);
    }
}

TEST(EscPosInterpreterTest, StyleChangeInsideALineMakesRuns) {
    const auto r = interpret(cat({kSetUp, asBytes(std::string_view("ab")), hexBytes("1B 21 08"),
                                  asBytes(std::string_view("CD")), hexBytes("1D 42 01 0A")}));
    const auto got = lines(r.receipts.back());
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].runs.size(), 2u);
    EXPECT_EQ(got[0].runs[0].text, "ab");
    EXPECT_FALSE(got[0].runs[0].style.bold);
    EXPECT_EQ(got[0].runs[1].text, "CD");
    EXPECT_TRUE(got[0].runs[1].style.bold);
    EXPECT_EQ(got[0].style, got[0].runs[0].style);
}

TEST(EscPosInterpreterTest, FeedAndCutEndsTheReceipt) {
    const auto r = interpret(
        cat({kSetUp, kPlain, asBytes(std::string_view("one\n")), hexBytes("1B 33 FF 0A 1B 69"),
             asBytes(std::string_view("two\n")), hexBytes("1D 56 42 10")}));
    ASSERT_EQ(r.receipts.size(), 3u);  // two cut, the empty rest
    const auto first = lines(r.receipts[0]);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].text(), "one");
    EXPECT_EQ(first[1].text(), "");
    EXPECT_EQ(first[1].lineSpacing, 255);
    const auto second = lines(r.receipts[1]);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].text(), "two");
    EXPECT_TRUE(second[1].feedOnly);
    EXPECT_EQ(second[1].lineSpacing, 0x10);
    EXPECT_TRUE(r.receipts[2].items.empty());
    EXPECT_EQ(warningText(r.warnings), "");
}

TEST(EscPosInterpreterTest, CodesAndImagesTheRegisterSends) {
    const std::string qrText = "t=20261211T1500&s=12.50&fn=9999078900012345&i=12&fp=123&n=1";
    Bytes qrStore = hexBytes("1D 28 6B");
    le::append16(qrStore, static_cast<std::uint16_t>(qrText.size() + 3));
    qrStore.insert(qrStore.end(), {0x31, 0x50, 0x30});
    const std::string pdfText = "PDF417 0123";
    Bytes pdfStore = hexBytes("1D 28 6B");
    le::append16(pdfStore, static_cast<std::uint16_t>(pdfText.size() + 3));
    pdfStore.insert(pdfStore.end(), {0x30, 0x50, 0x30});
    const Bytes bytes = cat({
        kSetUp,
        hexBytes("1B 61 01"),
        hexBytes("1D 28 6B 04 00 31 41 32 00 1D 28 6B 03 00 31 43 04 1D 28 6B 03 00 31 45 33"),
        qrStore,
        asBytes(qrText),
        hexBytes("1D 28 6B 03 00 31 51 30"),
        hexBytes("1B 61 00"),
        // type 4, the text "12,5"
        hexBytes("1D 48 32 1D 68 60 1D 77 03 1D 6B 49 06 7B 41 31 32 2E 35"),
        // types 2, 3 and 1
        hexBytes("1D 48 32 1D 77 01 1D 6B 04"),
        asBytes(std::string_view("ABC-12")),
        hexBytes("00 1D 48 32 1D 77 02 1D 6B 07"),
        asBytes(std::string_view("123456")),
        hexBytes("00 1D 48 32 1D 77 02 1D 6B 06"),
        asBytes(std::string_view("A12.5B")),
        hexBytes("00"),
        hexBytes("1D 28 6B 03 00 30 44 03"),
        pdfStore,
        asBytes(pdfText),
        hexBytes("1D 28 6B 03 00 30 51 30"),
        // a 48-dot image of two rows
        hexBytes("1D 76 30 30 06 00 02 00 FF 00 FF 00 FF 00 00 FF 00 FF 00 FF 0A"),
    });
    const auto r = interpret(bytes);
    EXPECT_EQ(warningText(r.warnings), "");
    const auto& items = r.receipts.back().items;
    ASSERT_EQ(items.size(), 8u);

    const auto& qr = std::get<QrCode>(items[0]);
    EXPECT_EQ(qr.data, qrText);
    EXPECT_EQ(qr.model, 2);
    EXPECT_EQ(qr.moduleSize, 4);
    EXPECT_EQ(qr.level, 'H');
    EXPECT_EQ(qr.alignment, Alignment::Centre);
    EXPECT_GT(qr.modules.width, 20);

    struct Expected {
        Symbology symbology;
        const char* text;
        int moduleWidth;
        int height;
    };
    const Expected codes[] = {{Symbology::Code128, "12.5", 3, 96},
                              {Symbology::Code39, "ABC-12", 1, 96},
                              {Symbology::Itf, "123456", 2, 96},
                              {Symbology::Codabar, "A12.5B", 2, 96}};
    for (std::size_t i = 0; i < std::size(codes); ++i) {
        SCOPED_TRACE(i);
        const auto& code = std::get<Barcode>(items[1 + i]);
        EXPECT_EQ(code.symbology, codes[i].symbology);
        EXPECT_EQ(code.text, codes[i].text);
        EXPECT_EQ(code.moduleWidth, codes[i].moduleWidth);
        EXPECT_EQ(code.height, codes[i].height);
        EXPECT_EQ(code.hri, HriPosition::Below);
        EXPECT_EQ(code.alignment, Alignment::Left);
        EXPECT_GT(code.modules.width, 0);
    }
    EXPECT_EQ(std::get<Barcode>(items[1]).data, "{A12.5");

    const auto& pdf = std::get<Pdf417>(items[5]);
    EXPECT_EQ(pdf.data, pdfText);
    EXPECT_EQ(pdf.rowHeight, 3);
    EXPECT_GT(pdf.modules.height, 2);

    const auto& image = std::get<RasterImage>(items[6]);
    EXPECT_EQ(image.bytesPerRow, 6);
    EXPECT_EQ(image.rows, 2);
    EXPECT_EQ(image.bits, hexBytes("FF 00 FF 00 FF 00 00 FF 00 FF 00 FF"));
    EXPECT_EQ(std::get<TextLine>(items[7]).text(), "");  // the line feed after the image
}

TEST(EscPosInterpreterTest, BadCommandsAreWarnedAndTheStreamGoesOn) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* warning;
        std::size_t at = 0;  // offset of the warned byte in `bytes`
    };
    Bytes refusedRaster = hexBytes("1D 76 30 30 00 01 01 00");  // 256 bytes a row
    refusedRaster.resize(refusedRaster.size() + 256, 0x0A);     // its data: not line feeds
    const Case cases[] = {
        {"unknown ESC", hexBytes("1B 7A"), "unknown command 1B 7A"},
        {"unknown GS", hexBytes("1D 99"), "unknown command 1D 99"},
        {"unknown control byte", hexBytes("07"), "unknown control byte 07"},
        {"bad alignment", hexBytes("1B 61 07"), "ESC a with invalid alignment 07"},
        {"bad QR level", hexBytes("1D 28 6B 03 00 31 45 39"), "invalid error correction level"},
        {"QR print before a store", hexBytes("1D 28 6B 03 00 31 51 30"), "without stored data"},
        {"QR function too short", hexBytes("1D 28 6B 02 00 31 43"), "without its parameters"},
        {"GS ( k without function", hexBytes("1D 28 6B 00 00"), "GS ( k too short"},
        {"unknown symbol", hexBytes("1D 28 6B 03 00 32 41 00"), "unknown symbol"},
        {"CODE128 set A lower case", hexBytes("1D 6B 49 04 7B 41 61 62"), "code set A cannot"},
        {"CODE128 without code set", hexBytes("1D 6B 49 02 31 32"), "does not start"},
        {"CODE128 ends in a brace", hexBytes("1D 6B 49 03 7B 41 7B"), "inside a code set"},
        {"EAN13 with letters", hexBytes("1D 6B 02 41 42 43 00"), "barcode not printed: EAN13"},
        {"unknown barcode system", hexBytes("1D 6B 09"), "unknown barcode system 09"},
        {"CODABAR without start and stop", hexBytes("1D 6B 06 31 32 2E 35 00"),
         "barcode not printed: CODABAR"},
        {"ITF with an odd digit count", hexBytes("1D 6B 07 31 32 33 00"), "odd number of digits"},
        {"raster too wide", refusedRaster, "raster image 1D 76 30 30 00 01 01 00 refused"},
        {"raster without rows", hexBytes("1D 76 30 30 06 00 00 00"), "refused"},
        {"wrong clear buffers", hexBytes("10 14 08 01 02 03 04 05 06 07"), "wrong parameters"},
        {"status of a kind that does not exist", hexBytes("1D 72 09"), "invalid status kind"},
        {"automatic status back", hexBytes("1D 61 FF"), "not supported"},
        {"Russian without CP866", hexBytes("1B 40 8F 0A"), "code page 0", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = interpret(cat({kSetUp, c.bytes, asBytes(std::string_view("OK\n"))}));
        ASSERT_FALSE(r.warnings.empty());
        EXPECT_NE(r.warnings[0].text.find(c.warning), std::string::npos) << r.warnings[0].text;
        EXPECT_EQ(r.warnings[0].offset, kSetUp.size() + c.at);
        ASSERT_FALSE(r.receipts.back().items.empty());
        const auto* last = std::get_if<TextLine>(&r.receipts.back().items.back());
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->text().substr(last->text().size() - 2), "OK");
    }
}

TEST(EscPosInterpreterTest, TruncatedCommandsAreReportedAtTheEnd) {
    const char* cases[] = {
        "1B",
        "1B 61",
        "1D 28 6B 10 00 31 50 30 41",
        "1D 76 30 30 06 00 32 00 FF FF",
        "1D 6B 04 41 42",
        "1D 6B 49 08 7B 41",
        "10 14 08 01 03",
    };
    for (const char* c : cases) {
        SCOPED_TRACE(c);
        const auto r = interpret(cat({kSetUp, asBytes(std::string_view("A\n")), hexBytes(c)}));
        ASSERT_EQ(r.warnings.size(), 1u) << warningText(r.warnings);
        EXPECT_NE(r.warnings[0].text.find("truncated command"), std::string::npos);
        EXPECT_EQ(r.warnings[0].offset, kSetUp.size() + 2);
        ASSERT_EQ(lines(r.receipts.back()).size(), 1u);
    }
    const auto r = interpret(asBytes(std::string_view("no line feed")));
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].text.find("never printed"), std::string::npos);
}

TEST(EscPosInterpreterTest, RefusedRasterDataIsDroppedEvenWhenItEndsTheStream) {
    const auto r = interpret(hexBytes("1D 76 30 30 FF FF FF FF 00 00"));
    ASSERT_EQ(r.warnings.size(), 2u);
    EXPECT_NE(r.warnings[1].text.find("before the end of the data"), std::string::npos);
}

TEST(EscPosInterpreterTest, StatusAnswersFollowTheConditions) {
    struct Case {
        const char* name;
        std::function<void(PrinterConditions&)> set;
        Bytes answers;  // to GS r 1, GS r 2, DLE EOT 4
    };
    const Case cases[] = {
        {"paper in", [](PrinterConditions&) {}, hexBytes("00 00 12")},
        {"paper low", [](PrinterConditions& c) { c.setPaperLow(true); }, hexBytes("03 00 1E")},
        {"paper out", [](PrinterConditions& c) { c.setPaperOut(true); }, hexBytes("0C 00 72")},
        {"both",
         [](PrinterConditions& c) {
             c.setPaperOut(true);
             c.setPaperLow(true);
         },
         hexBytes("0F 00 7E")},
        {"exact byte", [](PrinterConditions& c) { c.setStatusOverride(0x04); },
         hexBytes("04 00 12")},
        {"silent", [](PrinterConditions& c) { c.setSilent(true); }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrinterConditions conditions;
        c.set(conditions);
        EXPECT_EQ(interpret(hexBytes("1D 72 01 1D 72 32 10 04 04"), conditions).answers, c.answers);
    }
}

TEST(EscPosInterpreterTest, NothingIsPrintedWhilePaperIsOut) {
    PrinterConditions conditions;
    EscPosInterpreter interpreter(PaperWidth::Mm58, conditions);
    (void)interpreter.feed(asBytes(std::string_view("before\n")));
    conditions.setPaperOut(true);
    (void)interpreter.feed(asBytes(std::string_view("lost\nlost too\n")));
    EXPECT_EQ(interpreter.feed(hexBytes("1D 72 01")), hexBytes("0C"));
    conditions.setPaperOut(false);
    (void)interpreter.feed(asBytes(std::string_view("after\n")));
    std::vector<std::string> got;
    for (const auto& line : lines(interpreter.current()))
        got.push_back(line.text());
    EXPECT_EQ(got, (std::vector<std::string>{"before", "after"}));
    const auto warnings = interpreter.takeWarnings();
    ASSERT_EQ(warnings.size(), 1u);  // once per paper-out period
    EXPECT_NE(warnings[0].text.find("paper out"), std::string::npos);
}

// The register's whole print of one receipt, fed as one chunk, byte by byte and in random
// pieces, gives the same paper, answers and warnings.
TEST(EscPosInterpreterTest, SplitReadsGiveTheSamePaper) {
    const Bytes stream = cat({
        hexBytes("10 14 08 01 03 14 01 06 02 08 1B 40"),
        kSetUp,
        kPlain,
        asBytes("ИТОГ\tЁё №\n"_cp866),
        hexBytes("1D 72 01 1D 28 6B 08 00 31 50 30 41 42 43 44 45 1D 28 6B 03 00 31 51 30"),
        hexBytes("1D 48 32 1D 68 60 1D 77 03 1D 6B 49 06 7B 41 31 32 2E 35"),
        hexBytes("1D 76 30 30 01 00 03 00 AA 55 AA 0A 1B 7A 1B 33 FF 0A 1B 69 1D 72 01"),
    });
    const auto describe = [](EscPosInterpreter& it, std::vector<Receipt>& receipts) {
        std::string out;
        for (const auto& receipt : receipts) {
            for (const auto& item : receipt.items) {
                out += std::to_string(item.index());
                if (const auto* line = std::get_if<TextLine>(&item))
                    out += line->text();
                out += '|';
            }
            out += "cut|";
        }
        for (const auto& w : it.takeWarnings())
            out += std::to_string(w.offset) + w.text + '|';
        return out;
    };
    PrinterConditions conditions;
    EscPosInterpreter whole(PaperWidth::Mm58, conditions);
    const Bytes wholeAnswers = whole.feed(stream);
    auto wholeReceipts = whole.takeReceipts();
    const std::string expected = describe(whole, wholeReceipts);
    EXPECT_EQ(wholeAnswers, hexBytes("00 00"));
    EXPECT_EQ(wholeReceipts.size(), 1u);

    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        EscPosInterpreter split(PaperWidth::Mm58, conditions);
        Bytes answers;
        std::vector<Receipt> receipts;
        for (std::size_t pos = 0; pos < stream.size();) {
            const std::size_t n =
                round == 0 ? 1 : std::min<std::size_t>(stream.size() - pos, 1 + random() % 9);
            const auto a = split.feed(ByteView(stream).subspan(pos, n));
            answers.insert(answers.end(), a.begin(), a.end());
            for (auto& r : split.takeReceipts())
                receipts.push_back(std::move(r));
            pos += n;
        }
        EXPECT_EQ(answers, wholeAnswers);
        EXPECT_EQ(describe(split, receipts), expected);
    }
}

TEST(EscPosInterpreterTest, RandomBytesNeverBreakIt) {
    std::mt19937 random(2026);
    PrinterConditions conditions;
    // Command introducers are made frequent so that the parsers of every command see garbage.
    const std::uint8_t introducers[] = {0x1B, 0x1D, 0x10, 0x0A, 0x09, 0x28, 0x6B, 0x76, 0x31};
    for (int round = 0; round < 50; ++round) {
        EscPosInterpreter interpreter(round % 2 ? PaperWidth::Mm80 : PaperWidth::Mm58, conditions);
        Bytes bytes(2000);
        for (auto& b : bytes) {
            b = random() % 3 == 0 ? introducers[random() % std::size(introducers)]
                                  : static_cast<std::uint8_t>(random());
        }
        for (std::size_t pos = 0; pos < bytes.size();) {
            const std::size_t n = std::min<std::size_t>(bytes.size() - pos, 1 + random() % 64);
            (void)interpreter.feed(ByteView(bytes).subspan(pos, n));
            pos += n;
        }
        interpreter.finish();
        EXPECT_EQ(interpreter.offset(), bytes.size() - 0) << "every byte accounted for";
    }
}

}  // namespace
}  // namespace kkt::sim
