#include "Paper.hpp"

#include <algorithm>

namespace kkt::sim {

std::string TextLine::text() const {
    std::string out;
    for (const auto& run : runs)
        out += run.text;
    return out;
}

int TextLine::heightDots() const {
    auto height = [](const TextStyle& s) { return cellHeight(s.font) * (s.doubleHeight ? 2 : 1); };
    int h = height(style);
    for (const auto& run : runs)
        h = std::max(h, height(run.style));
    return h;
}

const char* symbologyName(Symbology s) {
    switch (s) {
        case Symbology::UpcA:
            return "UPC-A";
        case Symbology::UpcE:
            return "UPC-E";
        case Symbology::Ean13:
            return "EAN13";
        case Symbology::Ean8:
            return "EAN8";
        case Symbology::Code39:
            return "CODE39";
        case Symbology::Itf:
            return "ITF";
        case Symbology::Codabar:
            return "CODABAR";
        case Symbology::Code93:
            return "CODE93";
        case Symbology::Code128:
            return "CODE128";
    }
    return "?";
}

}  // namespace kkt::sim
