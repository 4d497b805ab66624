#include "ReceiptRenderer.hpp"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace kkt::sim {

namespace {

constexpr std::uint8_t kWhite = 255;
constexpr std::uint8_t kBlack = 0;
constexpr int kQuietModules = 4;  // blank paper above and below a two-dimensional code
constexpr int kHriGap = 4;

// libpng reports errors by longjmp: this function keeps only plain locals.
bool writePngFile(const Canvas& canvas, FILE* f) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_level(png, 3);  // fast: the receipt must be there right after the cut
    png_set_IHDR(png, info, static_cast<png_uint_32>(canvas.width),
                 static_cast<png_uint_32>(canvas.height), 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < canvas.height; ++y) {
        png_write_row(
            png, const_cast<png_bytep>(&canvas.pixels[static_cast<std::size_t>(y) * canvas.width]));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

void Canvas::grow(int rows) {
    if (rows <= height)
        return;
    height = rows;
    pixels.resize(static_cast<std::size_t>(width) * height, kWhite);
}

void Canvas::set(int x, int y, bool isBlack) {
    if (x < 0 || x >= width || y < 0)
        return;
    grow(y + 1);
    pixels[static_cast<std::size_t>(y) * width + x] = isBlack ? kBlack : kWhite;
}

bool writePng(const Canvas& canvas, const std::filesystem::path& path, std::string& error) {
    if (canvas.width <= 0 || canvas.height <= 0) {
        error = "empty picture";
        return false;
    }
    const auto temp = path.string() + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot create " + temp;
        return false;
    }
    const bool written = writePngFile(canvas, f);
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        ::unlink(temp.c_str());
        error = "cannot write " + temp;
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        error = "cannot rename " + temp + " to " + path.string();
        return false;
    }
    return true;
}

ReceiptRenderer::ReceiptRenderer(const PsfFont& font, const Cp866Text& cp866, PaperWidth paper)
    : font_(font), cp866_(cp866), paper_(paper) {}

int ReceiptRenderer::alignedX(Alignment alignment, int width) const {
    const int free = std::max(0, paperDots(paper_) - width);
    switch (alignment) {
        case Alignment::Centre:
            return kMargin + free / 2;
        case Alignment::Right:
            return kMargin + free;
        case Alignment::Left:
            break;
    }
    return kMargin;
}

void ReceiptRenderer::drawCell(Canvas& c, int x, int top, char32_t cp,
                               const TextStyle& style) const {
    const int sx = style.doubleWidth ? 2 : 1;
    const int sy = style.doubleHeight ? 2 : 1;
    const int cellW = cellWidth(style.font) * sx;
    const int cellH = cellHeight(style.font) * sy;
    // Font A draws the glyph at one and a half times its size, font B as it is with a dot of
    // spacing to the right and below.
    const int glyphW = (style.font == Font::A ? cellWidth(Font::A) : font_.width()) * sx;
    const int glyphH = (style.font == Font::A ? cellHeight(Font::A) : font_.height()) * sy;
    const auto glyphDot = [&](int dx, int dy) {
        if (dx < 0 || dx >= glyphW || dy >= glyphH)
            return false;
        return font_.dot(cp, dx * font_.width() / glyphW, dy * font_.height() / glyphH);
    };
    for (int dy = 0; dy < cellH; ++dy) {
        for (int dx = 0; dx < cellW; ++dx) {
            bool ink = glyphDot(dx, dy) || (style.bold && glyphDot(dx - sx, dy));
            if (style.underline && dy >= cellH - sy)
                ink = true;
            c.set(x + dx, top + dy, ink != style.inverse);
        }
    }
}

int ReceiptRenderer::drawText(Canvas& c, int x, int baseline, const TextRun& run) const {
    const int cellW = cellWidth(run.style.font) * (run.style.doubleWidth ? 2 : 1);
    const int cellH = cellHeight(run.style.font) * (run.style.doubleHeight ? 2 : 1);
    for (const char ch : run.text) {
        if (x + cellW > kMargin + paperDots(paper_))
            break;
        drawCell(c, x, baseline - cellH, cp866_.codePoint(static_cast<unsigned char>(ch)),
                 run.style);
        x += cellW;
    }
    return x;
}

int ReceiptRenderer::textWidth(const std::string& text, Font font) const {
    return static_cast<int>(text.size()) * cellWidth(font);
}

void ReceiptRenderer::drawModules(Canvas& c, int x, int y, const ModuleMatrix& m, int moduleWidth,
                                  int rowHeight) const {
    for (int row = 0; row < m.height; ++row) {
        for (int col = 0; col < m.width; ++col) {
            if (!m.at(col, row))
                continue;
            for (int dy = 0; dy < rowHeight; ++dy) {
                for (int dx = 0; dx < moduleWidth; ++dx) {
                    const int px = x + col * moduleWidth + dx;
                    if (px < kMargin + paperDots(paper_))
                        c.set(px, y + row * rowHeight + dy, true);
                }
            }
        }
    }
}

Canvas ReceiptRenderer::render(const Receipt& receipt) const {
    Canvas c;
    c.width = paperDots(paper_) + 2 * kMargin;
    c.grow(kMargin);
    int y = kMargin;
    for (const auto& item : receipt.items) {
        if (const auto* line = std::get_if<TextLine>(&item)) {
            if (line->feedOnly) {
                y += line->lineSpacing;
                c.grow(y);
                continue;
            }
            const int height = line->heightDots();
            int width = 0;
            for (const auto& run : line->runs) {
                width += static_cast<int>(run.text.size()) * cellWidth(run.style.font) *
                         (run.style.doubleWidth ? 2 : 1);
            }
            int x = alignedX(line->alignment, width);
            c.grow(y + height);
            for (const auto& run : line->runs)
                x = drawText(c, x, y + height, run);
            y += std::max(line->lineSpacing, height);
            c.grow(y);
        } else if (const auto* image = std::get_if<RasterImage>(&item)) {
            const int width = image->bytesPerRow * 8 * image->scaleX;
            const int x0 = alignedX(image->alignment, width);
            c.grow(y + image->rows * image->scaleY);
            for (int row = 0; row < image->rows; ++row) {
                for (int col = 0; col < image->bytesPerRow * 8; ++col) {
                    const auto byte =
                        image->bits[static_cast<std::size_t>(row) * image->bytesPerRow + col / 8];
                    if (((byte >> (7 - col % 8)) & 1) == 0)
                        continue;
                    for (int dy = 0; dy < image->scaleY; ++dy) {
                        for (int dx = 0; dx < image->scaleX; ++dx) {
                            const int px = x0 + col * image->scaleX + dx;
                            if (px < kMargin + paperDots(paper_)) {
                                c.set(px, y + row * image->scaleY + dy, true);
                            }
                        }
                    }
                }
            }
            y += image->rows * image->scaleY;
        } else if (const auto* code = std::get_if<Barcode>(&item)) {
            const int width = code->modules.width * code->moduleWidth;
            const int x0 = alignedX(code->alignment, width);
            const int hriHeight = cellHeight(code->hriFont) + kHriGap;
            const bool above = code->hri == HriPosition::Above || code->hri == HriPosition::Both;
            const bool below = code->hri == HriPosition::Below || code->hri == HriPosition::Both;
            TextRun hri;
            hri.style.font = code->hriFont;
            hri.text = code->text;
            const int hriX = x0 + std::max(0, (width - textWidth(code->text, code->hriFont)) / 2);
            if (above) {
                y += hriHeight;
                drawText(c, hriX, y - kHriGap, hri);
            }
            const int rows = std::max(1, code->modules.height);
            drawModules(c, x0, y, code->modules, code->moduleWidth,
                        std::max(1, code->height / rows));
            y += code->height;
            c.grow(y);
            if (below) {
                y += hriHeight;
                drawText(c, hriX, y, hri);
            }
        } else if (const auto* qr = std::get_if<QrCode>(&item)) {
            const int width = qr->modules.width * qr->moduleSize;
            y += kQuietModules * qr->moduleSize;
            drawModules(c, alignedX(qr->alignment, width), y, qr->modules, qr->moduleSize,
                        qr->moduleSize);
            y += width + kQuietModules * qr->moduleSize;
            c.grow(y);
        } else if (const auto* pdf = std::get_if<Pdf417>(&item)) {
            const int width = pdf->modules.width * pdf->moduleWidth;
            const int rowHeight = pdf->rowHeight * pdf->moduleWidth;
            y += kQuietModules * pdf->moduleWidth;
            drawModules(c, alignedX(pdf->alignment, width), y, pdf->modules, pdf->moduleWidth,
                        rowHeight);
            y += pdf->modules.height * rowHeight + kQuietModules * pdf->moduleWidth;
            c.grow(y);
        }
    }
    c.grow(y + kMargin);
    return c;
}

}  // namespace kkt::sim
