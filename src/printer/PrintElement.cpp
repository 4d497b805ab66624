#include "printer/PrintElement.hpp"

namespace kkt {

PrintElement PrintElement::text(std::string_view text, LayoutWord layout) {
    PrintElement e;
    e.lines.emplace_back(text);
    e.layout = layout;
    return e;
}

PrintElement PrintElement::qrCode(std::string_view text, LayoutWord layout) {
    PrintElement e;
    e.kind = Kind::QrCode;
    e.lines.emplace_back(text);
    e.layout = layout;
    return e;
}

void PrintElement::addText(std::string_view text) {
    if (kind != Kind::Text)
        return;
    for (;;) {
        const auto lf = text.find('\n');
        lines.emplace_back(text.substr(0, lf));
        if (lf == std::string_view::npos)
            break;
        text.remove_prefix(lf + 1);
    }
}

void PrintElement::makeBarcode(std::string_view text, int type) {
    lines.clear();
    lines.emplace_back(text);
    kind = Kind::Barcode;
    barcodeType = type;
}

bool PrintElement::hasContent() const {
    switch (kind) {
        case Kind::Text:
            return !lines.empty();
        case Kind::Image:
            return image.isValid();
        case Kind::Barcode:
            return !lines.empty() && barcodeType != kNoBarcode;
        case Kind::QrCode:
            return !lines.empty();
    }
    return false;
}

}  // namespace kkt
