#include "printer/PrintLayout.hpp"

#include <gtest/gtest.h>

#include <string>

#include "primitives/Cp866.hpp"
#include "printer/PrinterCommands.hpp"

namespace kkt {
namespace {

using namespace kkt::literals;

std::string rep(char c, std::size_t n) {
    return std::string(n, c);
}

LayoutWord word(unsigned paperWidth, unsigned size = 0, std::uint8_t top = 0) {
    LayoutWord w;
    w.setPaperWidth(paperWidth);
    w.setSize(size);
    w.setTopByte(top);
    return w;
}

constexpr unsigned kNarrow = 60;
constexpr unsigned kWide = 80;
constexpr std::uint8_t kDouble = 0x40;  // top-byte bit of double size
constexpr std::uint8_t kRight = 0x02;

struct LineCase {
    const char* name;
    LayoutWord layout;
    std::string in;
    std::string out;
};

class PrintLayoutTest : public ::testing::Test {
  protected:
    void TearDown() override { LayoutWord::setCurrentPaperWidth(60); }
};

TEST_F(PrintLayoutTest, LaysOutLinesAsThePaperAllows) {
    const std::string itog("ИТОГ"_cp866);
    const std::string twoCol44 = "A" + rep('b', 20) + "\t" + rep('c', 22);  // 44 with the tab
    const LineCase cases[] = {
        {"two-column line padded to 44", word(kNarrow), itog + "\t12.50",
         itog + rep(' ', 35) + "12.50"},
        {"two-column line of exactly 44 left as it is", word(kNarrow), twoCol44, twoCol44},
        {"further tabs become blanks", word(kNarrow), "a\tb\tc", "a" + rep(' ', 40) + "b c"},
        {"50 characters without blanks split after 44", word(kNarrow), rep('x', 50),
         rep('x', 44) + "\n" + rep('x', 6)},
        {"first blank exactly at 44 breaks there", word(kNarrow), rep('x', 44) + " yyy",
         rep('x', 44) + "\nyyy"},
        {"first blank after 44 cuts after 44", word(kNarrow), rep('x', 45) + " yy",
         rep('x', 44) + "\nx yy"},
        {"breaks at the last blank that fits, blank dropped", word(kNarrow),
         rep('x', 30) + " " + rep('y', 10) + " " + rep('z', 10),
         rep('x', 30) + " " + rep('y', 10) + "\n" + rep('z', 10)},
        {"each wrapped part centred", word(kNarrow, 0, LayoutWord::kTopCentred),
         rep('x', 30) + " " + rep('y', 10) + " " + rep('z', 10),
         " " + rep('x', 30) + " " + rep('y', 10) + "\n" + rep(' ', 17) + rep('z', 10)},
        {"too long with a tab: the columns go on two lines", word(kNarrow),
         rep('x', 30) + "\t" + rep('y', 20), rep('x', 30) + "\n" + rep('y', 20)},
        {"line feed splits, each part laid out", word(kNarrow), "a\tb\nc",
         "a" + rep(' ', 42) + "b\nc"},
        {"centred on narrow paper", word(kNarrow, 0, LayoutWord::kTopCentred), "abcd",
         rep(' ', 20) + "abcd"},
        {"right-aligned on narrow paper", word(kNarrow, 0, kRight), "abc", rep(' ', 41) + "abc"},
        {"large font: 34 characters", word(kNarrow, 2), "a\tb", "a" + rep(' ', 32) + "b"},
        {"double size, large font: 17 characters", word(kNarrow, 3, kDouble), itog + "\t1",
         itog + rep(' ', 12) + "1"},
        {"double size wraps at 17", word(kNarrow, 2, kDouble), rep('x', 20),
         rep('x', 17) + "\n" + rep('x', 3)},
        {"wide paper: long text not wrapped", word(kWide), rep('x', 100), rep('x', 100)},
        {"wide paper: centred text left to the printer", word(kWide, 0, LayoutWord::kTopCentred),
         "abcd", "abcd"},
        {"wide paper: two-column line padded to 64", word(kWide), "a\tb", "a" + rep(' ', 62) + "b"},
        {"wide paper, large font: 48", word(kWide, 2), "a\tb", "a" + rep(' ', 46) + "b"},
        {"wide paper: long two-column line unchanged", word(kWide),
         rep('a', 40) + "\t" + rep('b', 40), rep('a', 40) + "\t" + rep('b', 40)},
        {"empty line", word(kNarrow), "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(layout::layoutLine(c.in, c.layout), c.out) << c.name;
    }
}

TEST_F(PrintLayoutTest, CharactersPerLine) {
    struct {
        unsigned paper, size;
        bool doubleSize;
        unsigned chars;
    } cases[] = {
        {kWide, 2, false, 48},  {kWide, 3, false, 48},   {kWide, 0, false, 64},
        {kWide, 1, false, 64},  {kNarrow, 2, false, 34}, {kNarrow, 0, false, 44},
        {kWide, 2, true, 24},   {kWide, 0, true, 32},    {kNarrow, 3, true, 17},
        {kNarrow, 0, true, 22}, {61, 0, false, 64},
    };
    for (const auto& c : cases) {
        LayoutWord w = word(c.paper, c.size);
        w.setFlag(LayoutWord::kDoubleSize, c.doubleSize);
        EXPECT_EQ(w.charactersPerLine(), c.chars)
            << c.paper << " size " << c.size << " double " << c.doubleSize;
    }
}

TEST_F(PrintLayoutTest, StylePrefix) {
    struct {
        const char* name;
        unsigned paper, size, spacing;
        std::uint8_t top;
        Bytes prefix;
    } cases[] = {
        {"default",
         kNarrow,
         0,
         0,
         0,
         {0x1B, 0x61, 0x00, 0x1B, 0x33, 0x01, 0x1B, 0x21, 0x01, 0x1D, 0x42, 0x00}},
        {"spacing 3 -> 71",
         kNarrow,
         2,
         3,
         0,
         {0x1B, 0x61, 0x00, 0x1B, 0x33, 0x47, 0x1B, 0x21, 0x00, 0x1D, 0x42, 0x00}},
        {"spacing 5 -> 141",
         kNarrow,
         2,
         5,
         0,
         {0x1B, 0x61, 0x00, 0x1B, 0x33, 0x8D, 0x1B, 0x21, 0x00, 0x1D, 0x42, 0x00}},
        {"spacing 7 -> 255",
         kNarrow,
         2,
         7,
         0,
         {0x1B, 0x61, 0x00, 0x1B, 0x33, 0xFF, 0x1B, 0x21, 0x00, 0x1D, 0x42, 0x00}},
        {"spacing 1 -> 1",
         kNarrow,
         2,
         1,
         0,
         {0x1B, 0x61, 0x00, 0x1B, 0x33, 0x01, 0x1B, 0x21, 0x00, 0x1D, 0x42, 0x00}},
        {"narrow paper never aligns by ESC a",
         kNarrow,
         2,
         0,
         0x06,
         {0x1B, 0x61, 0x00, 0x1B, 0x33, 0x01, 0x1B, 0x21, 0x00, 0x1D, 0x42, 0x00}},
        {"wide right-aligned wins over centred",
         kWide,
         2,
         0,
         0x06,
         {0x1B, 0x61, 0x02, 0x1B, 0x33, 0x01, 0x1B, 0x21, 0x00, 0x1D, 0x42, 0x00}},
        {"wide centred",
         kWide,
         2,
         0,
         0x04,
         {0x1B, 0x61, 0x01, 0x1B, 0x33, 0x01, 0x1B, 0x21, 0x00, 0x1D, 0x42, 0x00}},
        {"double, bold, small font, inverse; attribute bits ignored",
         kNarrow,
         1,
         0,
         0x79,
         {0x1B, 0x61, 0x00, 0x1B, 0x33, 0x01, 0x1B, 0x21, 0x39, 0x1D, 0x42, 0x01}},
    };
    for (const auto& c : cases) {
        LayoutWord w = word(c.paper, c.size, c.top);
        w.setLineSpacing(c.spacing);
        EXPECT_EQ(w.stylePrefix(), c.prefix) << c.name;
    }
}

TEST_F(PrintLayoutTest, NewLayoutWordTakesTheProcessWidePaperWidth) {
    EXPECT_EQ(LayoutWord().raw(), 60u);
    LayoutWord::setCurrentPaperWidth(80);
    const LayoutWord w;
    EXPECT_EQ(w.raw(), 80u);
    EXPECT_TRUE(w.wide());
    LayoutWord t = w;
    t.setTopByte(0x0C);
    EXPECT_TRUE(t.centred());
    EXPECT_TRUE(t.bold());
    t.setTopByte(0x01);
    EXPECT_FALSE(t.centred());
    EXPECT_EQ(t.raw(), 0x01000050u);
}

Bytes cat(std::initializer_list<ByteView> parts) {
    Bytes out;
    for (auto p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(PrintLayoutTest, RendersEachKindOfElement) {
    const LayoutWord w = word(kNarrow);
    const Bytes prefix = w.stylePrefix();

    PrintElement text = PrintElement::text("a\tb", w);
    text.addText("x\ny");
    EXPECT_EQ(text.lines, (std::vector<std::string>{"a\tb", "x", "y"}));
    EXPECT_EQ(layout::render(text), cat({prefix, toBytes("a" + rep(' ', 42) + "b\nx\ny\n")}));
    EXPECT_EQ(layout::render(text, layout::Cut::Yes),
              cat({prefix, toBytes("a" + rep(' ', 42) + "b\nx\ny\n"), escpos::kFeedAndCut}));

    PrintElement barcode = PrintElement::text("ignored", w);
    barcode.makeBarcode("12,5", escpos::kBarcodeCode128);
    EXPECT_EQ(barcode.lines, (std::vector<std::string>{"12,5"}));
    EXPECT_EQ(layout::render(barcode),
              cat({prefix, Bytes{0x1D, 0x48, 0x32, 0x1D, 0x68, 0x60, 0x1D, 0x77, 0x03, 0x1D, 0x6B,
                                 0x49, 0x06, 0x7B, 0x41, 0x31, 0x32, 0x2E, 0x35}}));
    barcode.makeBarcode("12", 5);
    EXPECT_EQ(layout::render(barcode), cat({prefix, escpos::kHriBelow}));

    const PrintElement qr = PrintElement::qrCode("t=1", w);
    EXPECT_EQ(layout::render(qr),
              cat({prefix, escpos::kQrModel2, escpos::kQrModuleSize4, escpos::kQrErrorLevelH,
                   Bytes{0x1D, 0x28, 0x6B, 0x06, 0x00, 0x31, 0x50, 0x30, 't', '=', '1'},
                   escpos::kQrPrint}));
    EXPECT_EQ(layout::render(PrintElement::qrCode(rep('q', 7001), w)), prefix);

    PrintElement image;
    image.kind = PrintElement::Kind::Image;
    EXPECT_TRUE(layout::render(image).empty());
    EXPECT_EQ(layout::render(image, layout::Cut::Yes), cat({escpos::kFeedAndCut}));
}

TEST_F(PrintLayoutTest, ElementContent) {
    PrintElement e;
    EXPECT_EQ(e.kind, PrintElement::Kind::Text);
    EXPECT_EQ(e.barcodeType, -1);
    EXPECT_FALSE(e.hasContent());
    e.addText("");
    EXPECT_TRUE(e.hasContent());

    PrintElement b;
    b.kind = PrintElement::Kind::Barcode;
    b.lines = {"1"};
    EXPECT_FALSE(b.hasContent()) << "no barcode type";
    b.makeBarcode("1", 1);
    EXPECT_TRUE(b.hasContent());
    b.addText("more");
    EXPECT_EQ(b.lines.size(), 1u) << "add text is for text elements only";

    PrintElement img;
    img.kind = PrintElement::Kind::Image;
    img.image = {48, 2, Bytes(16, 0)};
    EXPECT_TRUE(img.hasContent());
    img.image.bitmap.pop_back();
    EXPECT_FALSE(img.hasContent()) << "bitmap one byte short of its rows";

    EXPECT_TRUE(PrintElement::qrCode("x").hasContent());
}

}  // namespace
}  // namespace kkt
