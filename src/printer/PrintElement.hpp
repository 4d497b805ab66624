#pragma once
// One piece of a printout: a block of text lines, an image, a barcode or a QR code, each with the
// layout word it is printed in.

#include <string>
#include <string_view>
#include <vector>

#include "printer/LayoutWord.hpp"
#include "printer/PrinterImage.hpp"

namespace kkt {

struct PrintElement {
    enum class Kind : int { Text = 0, Image = 1, Barcode = 2, QrCode = 3 };

    static constexpr int kNoBarcode = -1;

    Kind kind = Kind::Text;
    int barcodeType = kNoBarcode;
    // Text lines (CP866); for a barcode or QR code the code's text is the first line.
    std::vector<std::string> lines;
    PrinterImage image;
    LayoutWord layout;

    // A text element with the single line text.
    static PrintElement text(std::string_view text, LayoutWord layout = LayoutWord{});
    // A QR code element for text.
    static PrintElement qrCode(std::string_view text, LayoutWord layout = LayoutWord{});

    // Text elements only: text is split at each line feed and every piece is appended as a line.
    void addText(std::string_view text);
    // Turns the element into a barcode of the given type with the text as its only line.
    void makeBarcode(std::string_view text, int type);

    bool hasContent() const;
};

}  // namespace kkt
