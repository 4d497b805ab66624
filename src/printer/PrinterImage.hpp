#pragma once
// A raster image for the printer: rows padded to whole 32-bit words, most significant bit of each
// byte leftmost, 1 = black.

#include <cstddef>
#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt {

struct PrinterImage {
    std::uint32_t width = 0;   // dots
    std::uint32_t height = 0;  // rows
    Bytes bitmap;

    // Bytes of one row in the bitmap: ceil(width / 32) * 4.
    std::size_t rowStride() const { return (static_cast<std::size_t>(width) + 31) / 32 * 4; }
    // Bytes of one row as the printer takes it: ceil(width / 8).
    std::size_t printedRowBytes() const { return (static_cast<std::size_t>(width) + 7) / 8; }
    // Non-zero size, a bitmap that holds every row, and a row the raster header can describe.
    bool isValid() const;
};

}  // namespace kkt
