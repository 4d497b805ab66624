#pragma once
// Turns print elements into printer bytes: software alignment, two-column lines and word wrapping
// for narrow paper, and the ESC/POS sequences of barcodes and QR codes. Text is CP866 (one byte a
// character); case mapping of CP866 text is kkt::cp866::lower / upper.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "primitives/Bytes.hpp"
#include "printer/LayoutWord.hpp"
#include "printer/PrintElement.hpp"

namespace kkt {

class PrinterDriver;

namespace layout {

// A tab separates the left caption from the right-aligned value of a two-column line.
inline constexpr char kColumnSeparator = '\t';

enum class Cut { No, Yes };

// Pads a line shorter than the line width: two-column lines get the blanks between their
// columns; on narrow paper centred and right-aligned lines get leading blanks.
std::string alignLine(std::string_view s, const LayoutWord& layout);
// Lays one line out; on narrow paper a line too long is broken at line feeds, at the first tab,
// at the last blank that fits, or after the line width.
std::string layoutLine(std::string_view s, const LayoutWord& layout);

// The printer bytes of one element; images render to nothing (the driver prints them directly).
Bytes render(const PrintElement& element, Cut cut = Cut::No);

// Renders each element and prints it as text; stops at the first non-zero status and returns it.
[[nodiscard]] std::uint16_t printElements(PrinterDriver& printer,
                                          const std::vector<PrintElement>& elements);

}  // namespace layout
}  // namespace kkt
