#pragma once
// What the printer has put on the paper: receipts (the paper between two cuts) made of printed
// items. Text is kept as the CP866 bytes that were printed, with the style of every run.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kkt::sim {

enum class Font { A, B };
enum class Alignment { Left, Centre, Right };

// Paper rolls of the printer. The printable width is a whole number of font A characters:
// 34 on the narrow roll, 48 on the wide one (font A cells are 12 dots, font B cells 9 dots).
enum class PaperWidth { Mm58, Mm80 };

constexpr int paperDots(PaperWidth w) {
    return w == PaperWidth::Mm80 ? 576 : 408;
}

struct TextStyle {
    Font font = Font::A;
    bool bold = false;
    bool underline = false;
    bool doubleWidth = false;
    bool doubleHeight = false;
    bool inverse = false;

    bool doubleSize() const { return doubleWidth && doubleHeight; }
    bool operator==(const TextStyle&) const = default;
};

// Character cell of a font in dots, before double width or height.
constexpr int cellWidth(Font f) {
    return f == Font::A ? 12 : 9;
}
constexpr int cellHeight(Font f) {
    return f == Font::A ? 24 : 17;
}

struct TextRun {
    TextStyle style;
    std::string text;  // CP866; tabs already expanded to blanks
};

struct TextLine {
    Alignment alignment = Alignment::Left;
    int lineSpacing = 30;  // dots from this line's top to the next line's top (at least its height)
    TextStyle style;       // the style at the start of the line (the height of an empty line)
    std::vector<TextRun> runs;
    bool wrapped = false;   // the line was full and the printer continued on the next one
    bool feedOnly = false;  // a paper feed of exactly lineSpacing dots, nothing printed

    std::string text() const;  // all runs, CP866
    int heightDots() const;    // tallest character cell of the line
};

struct RasterImage {
    Alignment alignment = Alignment::Left;
    int bytesPerRow = 0;
    int rows = 0;
    int scaleX = 1;  // raster mode: double width and/or height
    int scaleY = 1;
    std::vector<std::uint8_t> bits;  // bytesPerRow * rows, most significant bit leftmost, 1 = black
};

// The modules of an encoded code, row by row; true = black.
struct ModuleMatrix {
    int width = 0;
    int height = 0;  // rows (1 for a one-dimensional barcode)
    std::vector<bool> cells;

    bool at(int x, int y) const { return cells[static_cast<std::size_t>(y) * width + x]; }
};

enum class Symbology { UpcA, UpcE, Ean13, Ean8, Code39, Itf, Codabar, Code93, Code128 };
enum class HriPosition { None, Above, Below, Both };

struct Barcode {
    Alignment alignment = Alignment::Left;
    Symbology symbology = Symbology::Code128;
    std::string data;  // the bytes sent (CODE128: with its code set characters)
    std::string text;  // the content a scanner reads
    int moduleWidth = 3;
    int height = 162;
    HriPosition hri = HriPosition::None;
    Font hriFont = Font::A;
    ModuleMatrix modules;
};

struct QrCode {
    Alignment alignment = Alignment::Left;
    std::string data;
    int model = 2;
    int moduleSize = 3;
    char level = 'L';  // L, M, Q or H
    ModuleMatrix modules;
};

struct Pdf417 {
    Alignment alignment = Alignment::Left;
    std::string data;
    int columns = 0;  // 0: automatic
    int rows = 0;     // 0: automatic
    int moduleWidth = 3;
    int rowHeight = 3;    // times the module width
    int errorLevel = -1;  // -1: automatic
    ModuleMatrix modules;
};

using PaperItem = std::variant<TextLine, RasterImage, Barcode, QrCode, Pdf417>;

// The paper from one cut to the next.
struct Receipt {
    std::vector<PaperItem> items;
};

const char* symbologyName(Symbology s);

}  // namespace kkt::sim
