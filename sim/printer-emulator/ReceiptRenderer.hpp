#pragma once
// Draws a receipt as the paper looks: text in the console font at the cell sizes of fonts A and
// B, raster images dot for dot, QR codes, barcodes and PDF417 from their modules. Grey levels:
// 255 paper, 0 black.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Cp866Text.hpp"
#include "Paper.hpp"
#include "PsfFont.hpp"

namespace kkt::sim {

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // row by row

    void grow(int rows);  // at least `rows` rows, new ones white
    void set(int x, int y, bool black);
    bool black(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] < 128; }
};

// Writes an 8-bit grey PNG; the file appears complete or not at all (written aside, renamed).
[[nodiscard]] bool writePng(const Canvas& canvas, const std::filesystem::path& path,
                            std::string& error);

class ReceiptRenderer {
  public:
    static constexpr int kMargin = 32;  // white paper beside and around the printable area

    ReceiptRenderer(const PsfFont& font, const Cp866Text& cp866, PaperWidth paper);

    Canvas render(const Receipt& receipt) const;

  private:
    int alignedX(Alignment alignment, int width) const;
    int drawText(Canvas& c, int x, int baseline, const TextRun& run) const;
    void drawCell(Canvas& c, int x, int top, char32_t cp, const TextStyle& style) const;
    void drawModules(Canvas& c, int x, int y, const ModuleMatrix& m, int moduleWidth,
                     int rowHeight) const;
    int textWidth(const std::string& text, Font font) const;

    const PsfFont& font_;
    const Cp866Text& cp866_;
    PaperWidth paper_;
};

}  // namespace kkt::sim
