#include "printer/PrinterImage.hpp"

namespace kkt {

bool PrinterImage::isValid() const {
    if (width == 0 || height == 0)
        return false;
    // The raster header carries the bytes per row in 16 bits.
    if (printedRowBytes() > 0xFFFF)
        return false;
    const auto needed = static_cast<std::uint64_t>(height) * rowStride();
    return bitmap.size() >= needed;
}

}  // namespace kkt
