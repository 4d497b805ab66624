#include "PrinterEmulator.hpp"

#include <gtest/gtest.h>

#include "PrinterTestSupport.hpp"
#include "primitives/Cp866.hpp"

namespace kkt::sim {
namespace {

using namespace kkt::literals;
using test::cat;
using test::hexBytes;
using test::readFile;

const Bytes kSetUp = hexBytes("1D 64 00 1D 50 00 00 1B 74 07");
const Bytes kCut = hexBytes("1B 33 FF 0A 1B 69");

Bytes qrStore(std::string_view text) {
    Bytes out = hexBytes("1D 28 6B");
    le::append16(out, static_cast<std::uint16_t>(text.size() + 3));
    out.insert(out.end(), {0x31, 0x50, 0x30});
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

class PrinterEmulatorTest : public ::testing::Test {
  protected:
    std::unique_ptr<PrinterEmulator> open(PaperWidth paper = PaperWidth::Mm58) {
        EmulatorOptions options;
        options.outDir = dir_.file("out");
        options.tracePath = dir_.file("trace.txt");
        options.paper = paper;
        std::string error;
        auto emulator = PrinterEmulator::open(options, error);
        EXPECT_TRUE(emulator) << error;
        return emulator;
    }
    std::string out(const std::string& name) const { return dir_.file("out/" + name); }

    kkt::test::TempDir dir_;
};

TEST_F(PrinterEmulatorTest, ReceiptsBecomeTextAndPictures) {
    const std::string qr = "t=20261211T1500&s=12.50&fn=9999078900012345&i=12&fp=1234567890&n=1";
    const Bytes first = cat({
        kSetUp,
        hexBytes("1B 61 00 1B 33 01 1B 21 00 1D 42 00"),
        asBytes("КАССОВЫЙ ЧЕК\nИТОГ\t=12.50\n"_cp866),
        hexBytes("1D 72 01"),
        hexBytes("1D 28 6B 04 00 31 41 32 00 1D 28 6B 03 00 31 43 04 1D 28 6B 03 00 31 45 33"),
        qrStore(qr),
        hexBytes("1D 28 6B 03 00 31 51 30"),
        hexBytes("1D 48 32 1D 68 60 1D 77 03 1D 6B 49 0C 7B 41 34 36 30 37 30 30 31 32 33 34"),
        hexBytes("1D 76 30 30 01 00 02 00 F0 0F 0A"),
        kCut,
    });
    auto emulator = open();
    ASSERT_TRUE(emulator);
    // Split in two reads inside the QR store: nothing may depend on read boundaries.
    const std::size_t half = first.size() / 2;
    EXPECT_EQ(emulator->receive(ByteView(first).first(half)), hexBytes("00"));
    EXPECT_EQ(emulator->receive(ByteView(first).subspan(half)), Bytes{});
    EXPECT_EQ(emulator->picturesWritten(), 1);

    (void)emulator->receive(cat({kSetUp, asBytes("ВТОРОЙ\n"_cp866), kCut, hexBytes("1B 7A")}));
    EXPECT_EQ(readFile(out("paper.txt")),
              "КАССОВЫЙ ЧЕК\n"
              "ИТОГ    =12.50\n"
              "[qr] " +
                  qr +
                  "\n"
                  "[barcode CODE128] 4607001234\n"
                  "[image 8x2]\n"
                  "\n"
                  "\n"
                  "[cut]\n"
                  "ВТОРОЙ\n"
                  "\n"
                  "[cut]\n");
    EXPECT_EQ(readFile(out("warnings.txt")),
              "offset " + std::to_string(first.size() + kSetUp.size() + 7 + kCut.size()) +
                  ": unknown command 1B 7A\n");
    EXPECT_EQ(readFile(out("raw.bin")).size(), first.size() + kSetUp.size() + 7 + kCut.size() + 2);

    const std::string decoded = test::zbar(out("receipt-0001.png"));
    EXPECT_NE(decoded.find("QR-Code:" + qr + "\n"), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("CODE-128:4607001234\n"), std::string::npos) << decoded;
    EXPECT_TRUE(std::filesystem::exists(out("receipt-0002.png")));
    EXPECT_FALSE(std::filesystem::exists(out("receipt-0003.png")));

    const std::string trace = readFile(dir_.file("trace.txt"));
    EXPECT_EQ(test::count(trace, " in "), 3u);
    EXPECT_EQ(test::count(trace, " out 00\n"), 1u);
}

TEST_F(PrinterEmulatorTest, PicturesLookLikeThePaper) {
    // A bold double-size line, centred by the printer, drawn in black with the glyph of "Ж".
    auto emulator = open(PaperWidth::Mm80);
    ASSERT_TRUE(emulator);
    (void)emulator->receive(
        cat({kSetUp, hexBytes("1B 61 01 1B 21 38 1D 42 00"), asBytes("Ж\n"_cp866),
             hexBytes("1D 42 01 1B 21 00 1B 61 00 20 0A"), hexBytes("1B 69")}));
    ASSERT_EQ(emulator->picturesWritten(), 1);
    const auto font = *[] {
        std::string error;
        return PsfFont::load(kDefaultFontPath, error);
    }();
    Cp866Text cp866;
    ReceiptRenderer renderer(font, cp866, PaperWidth::Mm80);
    EscPosInterpreter interpreter(PaperWidth::Mm80, emulator->conditions());
    (void)interpreter.feed(cat({hexBytes("1B 61 01 1B 21 38"), asBytes("Ж\n"_cp866),
                                hexBytes("1D 42 01 1B 21 00 1B 61 00 20 0A 1B 69")}));
    const auto canvas = renderer.render(interpreter.takeReceipts().at(0));
    EXPECT_EQ(canvas.width, 576 + 2 * ReceiptRenderer::kMargin);
    // The double-size cell is 24 x 48 dots, centred: x 276..299 on the 576-dot line.
    const int left = ReceiptRenderer::kMargin + (576 - 24) / 2;
    const int top = ReceiptRenderer::kMargin;
    int inside = 0, outside = 0;
    for (int y = top; y < top + 48; ++y) {
        for (int x = ReceiptRenderer::kMargin; x < ReceiptRenderer::kMargin + 576; ++x) {
            if (!canvas.black(x, y))
                continue;
            (x >= left && x < left + 24 ? inside : outside)++;
        }
    }
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);
    // The inverse blank of font A below it is a solid 12 x 24 black cell at the left edge.
    for (int y = top + 48; y < top + 48 + 24; ++y) {
        for (int x = ReceiptRenderer::kMargin; x < ReceiptRenderer::kMargin + 12; ++x) {
            ASSERT_TRUE(canvas.black(x, y)) << x << "," << y;
        }
        EXPECT_FALSE(canvas.black(ReceiptRenderer::kMargin + 12, y));
    }
}

TEST_F(PrinterEmulatorTest, RestartAppendsAndNumbersOn) {
    for (int run = 0; run < 2; ++run) {
        auto emulator = open();
        ASSERT_TRUE(emulator);
        (void)emulator->receive(cat({asBytes(std::string_view("run\n")), kCut}));
        (void)emulator->receive(asBytes(std::string_view("\x1D(k")));
        emulator->idle();
        emulator->idle();  // reported once
        emulator->endOfInput();
    }
    EXPECT_TRUE(std::filesystem::exists(out("receipt-0001.png")));
    EXPECT_TRUE(std::filesystem::exists(out("receipt-0002.png")));
    EXPECT_FALSE(std::filesystem::exists(out("receipt-0003.png")));
    EXPECT_EQ(readFile(out("paper.txt")), "run\n\n[cut]\nrun\n\n[cut]\n");
    const std::string warnings = readFile(out("warnings.txt"));
    EXPECT_EQ(test::count(warnings, "waits for more bytes"), 2u) << warnings;
    EXPECT_EQ(test::count(warnings, "truncated command 1D 28 6B"), 2u) << warnings;
}

TEST_F(PrinterEmulatorTest, EndOfInputDrawsThePaperAfterTheLastCut) {
    auto emulator = open();
    ASSERT_TRUE(emulator);
    (void)emulator->receive(asBytes(std::string_view("not cut\n")));
    EXPECT_EQ(emulator->picturesWritten(), 0);
    emulator->endOfInput();
    EXPECT_EQ(emulator->picturesWritten(), 1);
    EXPECT_EQ(readFile(out("paper.txt")), "not cut\n");
}

TEST_F(PrinterEmulatorTest, UnusableSetUpIsRefusedWithAReason) {
    EmulatorOptions options;
    options.outDir = dir_.file("out");
    options.fontPath = dir_.file("missing.psf.gz");
    std::string error;
    EXPECT_FALSE(PrinterEmulator::open(options, error));
    EXPECT_NE(error.find("cannot open font"), std::string::npos) << error;

    std::ofstream(dir_.file("plain")) << "x";
    options.fontPath = dir_.file("plain");
    EXPECT_FALSE(PrinterEmulator::open(options, error));
    EXPECT_NE(error.find("is not a PSF font"), std::string::npos) << error;

    options.fontPath = kDefaultFontPath;
    options.outDir = dir_.file("plain/out");
    EXPECT_FALSE(PrinterEmulator::open(options, error));
    EXPECT_NE(error.find("cannot create the output folder"), std::string::npos) << error;
}

TEST(PsfFontTest, TheConsoleFontHasEveryCp866Character) {
    std::string error;
    const auto font = PsfFont::load(kDefaultFontPath, error);
    ASSERT_TRUE(font) << error;
    EXPECT_EQ(font->width(), 8);
    EXPECT_EQ(font->height(), 16);
    Cp866Text cp866;
    ASSERT_TRUE(cp866.ok());
    for (int b = 0x20; b < 0x100; ++b) {
        if (b == 0x7F)
            continue;  // DEL has no printed form
        EXPECT_TRUE(font->has(cp866.codePoint(static_cast<unsigned char>(b)))) << b;
    }
    EXPECT_EQ(cp866.toUtf8("\x88\x92\x8E\x83 \xF0\xF1\xFC"), "ИТОГ Ёё№");
}

}  // namespace
}  // namespace kkt::sim
